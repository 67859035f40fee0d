#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the example program and the
# tests need (as root, or through sudo). The README's two commands and CI run it.
set -euo pipefail
packages=(
  g++ make cmake ninja-build libgtest-dev
  openjdk-17-jdk-headless junit5
  unixodbc unixodbc-dev odbc-postgresql libsqliteodbc
  postgresql
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  binutils util-linux
  clang libclang-rt-14-dev
)
as_root=()
if [ "$(id -u)" != 0 ]; then as_root=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${packages[@]}"
