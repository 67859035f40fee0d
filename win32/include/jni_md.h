// The machine-dependent part of the JNI header for 32-bit Windows (x86),
// written from what JNI defines for that platform: exported entry points use
// the stdcall convention (JNICALL), jint is a 32-bit long, jlong a 64-bit
// integer, jbyte a signed char. jni.h includes this file by name; the
// Windows build puts this folder ahead of the JDK's platform folder.
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#ifndef _WIN32
#error "this jni_md.h is for 32-bit Windows only"
#endif

// win32/build.sh defines JNIEXPORT as empty: its .def file is the only
// source of export names, so that a dllexport attribute cannot add the
// undecorated duplicate of a name.
#ifndef JNIEXPORT
#define JNIEXPORT __declspec(dllexport)
#endif
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif  // !_JAVASOFT_JNI_MD_H_
