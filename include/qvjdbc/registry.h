// The registry of native addresses the library hands to Java: bound-column
// arrays, bound-parameter arrays and pinned storage. Java holds a 32-bit
// token; a token the registry did not issue, or already released, or of
// another kind, looks up as null and is never dereferenced.
#pragma once

#include <jni.h>

#include <cstdint>

namespace qv::registry {

enum class Kind : uint8_t { BoundColumns = 1, BoundParams = 2, PinnedStorage = 3 };

// Issues a token for p (never 0); 0 when the registry is full or p is null.
jint issue(Kind kind, void* p);
// The address behind a live token of this kind, or null. Lock-free.
void* lookup(Kind kind, jint token);
// Releases a live token and returns its address, or null when the token is
// not live (so a double release is refused).
void* release(Kind kind, jint token);

template <typename T>
T* lookupAs(Kind kind, jint token) {
    return static_cast<T*>(lookup(kind, token));
}

}  // namespace qv::registry
