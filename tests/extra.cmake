# The 32-bit Windows build (label win32): win32/build.sh cross-builds
# qvJdbcCS70.dll into the build tree from the current sources, reusing this
# tree's generated JNI headers, and win32/check.sh inspects it with objdump:
# decorated exports of the list only (and the same entry points as the Linux
# library), ruva70.dll imported by ordinal only, no DLL outside Windows.
# win32_checker shows that the inspection rejects DLLs with each of those
# faults. The cross-build does not depend on the sanitizer options, so it
# runs in the plain configuration only.
if(NOT QV_SANITIZE)
  add_test(NAME win32_dll
    COMMAND bash -c "\"$1\" \"$2\" \"$3\" && QV_WIN32_REQUIRE_ALL=1 \"$4\" \"$2/qvJdbcCS70.dll\" --same-as \"$5\"" win32_dll
      ${CMAKE_SOURCE_DIR}/win32/build.sh ${CMAKE_BINARY_DIR}/win32 ${QV_JNI_HEADERS_DIR}
      ${CMAKE_SOURCE_DIR}/win32/check.sh $<TARGET_FILE:qvJdbcCS70>)
  add_test(NAME win32_checker
    COMMAND ${CMAKE_SOURCE_DIR}/win32/check.sh --self-test ${CMAKE_BINARY_DIR}/win32-checker)
  set_tests_properties(win32_dll win32_checker PROPERTIES LABELS win32 TIMEOUT 1800)
endif()
