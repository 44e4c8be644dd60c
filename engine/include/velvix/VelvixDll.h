// Public interface of the Velvix effect engine.
//
// The program owns one engine object, created with a resource directory and a
// processing size while an OpenGL context is current. The order of the virtual
// operations below is part of the binary interface: new operations may only be
// appended after clearAllEffects().
#pragma once

#if defined(_WIN32)
#  if defined(VELVIX_BUILDING_DLL)
#    define VELVIX_API __declspec(dllexport)
#  else
#    define VELVIX_API __declspec(dllimport)
#  endif
#else
#  define VELVIX_API __attribute__((visibility("default")))
#endif

namespace velvix {

// Property event record. The program fills one on the stack, passes it to
// applyProperty() and destroys it after the call.
class VELVIX_API VelvixProperty {
public:
    VelvixProperty() = default;
    VelvixProperty(int kind, const char *key, const char *value, bool flag)
        : kind(kind), key(key), value(value), flag(flag) {}
    virtual ~VelvixProperty();

    int kind = 0;
    void *reserved0 = nullptr;
    void *reserved1 = nullptr;
    const char *key = nullptr;
    const char *value = nullptr;
    bool flag = false;
};

// Property kind used for script events such as the green-screen parameters.
constexpr int kPropertyKindScriptEvent = 6;

// The engine object. Strings and buffers passed in are only read during the
// call. Returned texture ids stay owned by the engine; ids above 0 mean
// success, 0 or less failure.
class VELVIX_API Velvix {
public:
    virtual int applyProperty(const VelvixProperty *property) = 0;
    virtual int applyEffect(const char *effectName, int value, const char *resourcePath,
                            const char *extraInfo) = 0;
    virtual int processTexture(int textureId, int width, int height) = 0;
    virtual int I420ToRgbTexture(const unsigned char *data, int width, int height, int flag) = 0;
    virtual int NV12ToRgbTexture(const unsigned char *data, int width, int height, int flag) = 0;
    virtual int resizeOutput(int width, int height) = 0;
    virtual int clearAllEffects() = 0;

protected:
    // Engines are destroyed through destroyVelvix() only.
    ~Velvix() = default;
};

} // namespace velvix

// Creates an engine; the display's OpenGL context must be current. Returns null
// when no engine can be made (no context, too old OpenGL, bad size).
extern "C++" VELVIX_API velvix::Velvix *createVelvix(const char *resourceDir, int width, int height);

// Destroys the engine *holder points to (with a context current that shares
// its objects) and sets *holder to null. Null holders are ignored.
extern "C++" VELVIX_API void destroyVelvix(velvix::Velvix **holder);
