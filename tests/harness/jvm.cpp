#include "jvm.h"

#include <cstdlib>
#include <mutex>

namespace qvt {
namespace {

JavaVM* g_vm = nullptr;
JNIEnv* g_env = nullptr;

void create() {
    const char* cp = std::getenv("QVT_CLASSPATH");
    static std::string classPath = std::string("-Djava.class.path=") + (cp ? cp : "");
    JavaVMOption options[3];
    options[0].optionString = const_cast<char*>(classPath.c_str());
    options[1].optionString = const_cast<char*>("-Xcheck:jni");
    options[2].optionString = const_cast<char*>("-Xss4m");
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_10;
    args.nOptions = 3;
    args.options = options;
    args.ignoreUnrecognized = JNI_FALSE;
    void* e = nullptr;
    if (JNI_CreateJavaVM(&g_vm, &e, &args) != JNI_OK) {
        std::fprintf(stderr, "cannot create the embedded JVM\n");
        std::abort();
    }
    g_env = static_cast<JNIEnv*>(e);
}

}  // namespace

JavaVM* vm() {
    static std::once_flag once;
    std::call_once(once, create);
    return g_vm;
}

JNIEnv* env() {
    vm();
    JNIEnv* e = nullptr;
    if (g_vm->GetEnv(reinterpret_cast<void**>(&e), JNI_VERSION_10) == JNI_EDETACHED) {
        g_vm->AttachCurrentThread(reinterpret_cast<void**>(&e), nullptr);
    }
    return e;
}

jbyteArray bytes(std::string_view content) {
    jbyteArray a = env()->NewByteArray(static_cast<jsize>(content.size()));
    env()->SetByteArrayRegion(a, 0, static_cast<jsize>(content.size()),
                              reinterpret_cast<const jbyte*>(content.data()));
    return a;
}

jbyteArray bytes(const std::vector<int8_t>& content) {
    jbyteArray a = env()->NewByteArray(static_cast<jsize>(content.size()));
    env()->SetByteArrayRegion(a, 0, static_cast<jsize>(content.size()), content.data());
    return a;
}

jbyteArray zstr(std::string_view text) {
    std::string s(text);
    s.push_back('\0');
    return bytes(std::string_view(s.data(), s.size()));
}

jbyteArray newBytes(jsize n, int8_t fill) {
    return bytes(std::vector<int8_t>(static_cast<size_t>(n), fill));
}

jshortArray newShorts(jsize n, int16_t fill) {
    std::vector<jshort> v(static_cast<size_t>(n), fill);
    jshortArray a = env()->NewShortArray(n);
    env()->SetShortArrayRegion(a, 0, n, v.data());
    return a;
}

jintArray newInts(jsize n, int32_t fill) {
    return ints(std::vector<int32_t>(static_cast<size_t>(n), fill));
}

jintArray ints(const std::vector<int32_t>& content) {
    jsize n = static_cast<jsize>(content.size());
    jintArray a = env()->NewIntArray(n);
    env()->SetIntArrayRegion(a, 0, n, reinterpret_cast<const jint*>(content.data()));
    return a;
}

jcharArray newChars(jsize n, uint16_t fill) {
    return chars(std::u16string(static_cast<size_t>(n), static_cast<char16_t>(fill)));
}

jcharArray chars(std::u16string_view content) {
    jsize n = static_cast<jsize>(content.size());
    jcharArray a = env()->NewCharArray(n);
    env()->SetCharArrayRegion(a, 0, n, reinterpret_cast<const jchar*>(content.data()));
    return a;
}

jstring jstr(std::u16string_view s) {
    return env()->NewString(reinterpret_cast<const jchar*>(s.data()), static_cast<jsize>(s.size()));
}

jstring jstrUtf8(const char* s) {
    return env()->NewStringUTF(s);
}

jbyteArray errorCode(int8_t b0, int8_t b1) {
    return bytes(std::vector<int8_t>{b0, b1});
}

std::vector<int8_t> read(jbyteArray a) {
    std::vector<int8_t> v(static_cast<size_t>(env()->GetArrayLength(a)));
    env()->GetByteArrayRegion(a, 0, static_cast<jsize>(v.size()), v.data());
    return v;
}

std::vector<int16_t> read(jshortArray a) {
    std::vector<int16_t> v(static_cast<size_t>(env()->GetArrayLength(a)));
    env()->GetShortArrayRegion(a, 0, static_cast<jsize>(v.size()), v.data());
    return v;
}

std::vector<int32_t> read(jintArray a) {
    std::vector<int32_t> v(static_cast<size_t>(env()->GetArrayLength(a)));
    env()->GetIntArrayRegion(a, 0, static_cast<jsize>(v.size()), reinterpret_cast<jint*>(v.data()));
    return v;
}

std::u16string read(jcharArray a) {
    std::u16string v(static_cast<size_t>(env()->GetArrayLength(a)), u'\0');
    env()->GetCharArrayRegion(a, 0, static_cast<jsize>(v.size()), reinterpret_cast<jchar*>(v.data()));
    return v;
}

std::u16string read(jstring s) {
    std::u16string v(static_cast<size_t>(env()->GetStringLength(s)), u'\0');
    env()->GetStringRegion(s, 0, static_cast<jsize>(v.size()), reinterpret_cast<jchar*>(v.data()));
    return v;
}

std::string cstr(jbyteArray a) {
    std::vector<int8_t> v = read(a);
    std::string s;
    for (int8_t b : v) {
        if (b == 0) break;
        s.push_back(static_cast<char>(b));
    }
    return s;
}

int8_t at(jbyteArray a, jsize i) {
    jbyte b = 0;
    env()->GetByteArrayRegion(a, i, 1, &b);
    return b;
}

int32_t at(jintArray a, jsize i) {
    jint v = 0;
    env()->GetIntArrayRegion(a, i, 1, &v);
    return v;
}

jclass findClass(const char* className) {
    return env()->FindClass(className);
}

jobject newObject(const char* className) {
    jclass c = env()->FindClass(className);
    if (!c) return nullptr;
    jmethodID init = env()->GetMethodID(c, "<init>", "()V");
    if (!init) return nullptr;
    return env()->NewObject(c, init);
}

jobject allocObject(const char* className) {
    jclass c = env()->FindClass(className);
    return c ? env()->AllocObject(c) : nullptr;
}

std::string takeException() {
    JNIEnv* e = env();
    jthrowable t = e->ExceptionOccurred();
    if (!t) return "";
    e->ExceptionClear();
    jclass cls = e->GetObjectClass(t);
    jclass classClass = e->FindClass("java/lang/Class");
    jmethodID getName = e->GetMethodID(classClass, "getName", "()Ljava/lang/String;");
    auto name = static_cast<jstring>(e->CallObjectMethod(cls, getName));
    if (e->ExceptionCheck() || !name) {
        e->ExceptionClear();
        return "<unnamed exception>";
    }
    const char* utf = e->GetStringUTFChars(name, nullptr);
    std::string result(utf);
    e->ReleaseStringUTFChars(name, utf);
    e->DeleteLocalRef(name);
    e->DeleteLocalRef(classClass);
    e->DeleteLocalRef(cls);
    e->DeleteLocalRef(t);
    return result;
}

std::string pendingMessage() {
    JNIEnv* e = env();
    jthrowable t = e->ExceptionOccurred();
    if (!t) return "";
    e->ExceptionClear();
    jclass throwable = e->FindClass("java/lang/Throwable");
    jmethodID getMessage = e->GetMethodID(throwable, "getMessage", "()Ljava/lang/String;");
    auto msg = static_cast<jstring>(e->CallObjectMethod(t, getMessage));
    if (e->ExceptionCheck()) {
        e->ExceptionClear();
        msg = nullptr;
    }
    std::string result;
    if (msg) {
        const char* utf = e->GetStringUTFChars(msg, nullptr);
        result = utf;
        e->ReleaseStringUTFChars(msg, utf);
    }
    e->Throw(t);
    return result;
}

}  // namespace qvt
