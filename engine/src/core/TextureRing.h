// Output rings handed to the caller and intermediate textures kept from
// frame to frame.
#pragma once

#include "core/Gl.h"

#include <map>
#include <string>
#include <vector>

namespace velvix {

// Textures handed out to the caller. A slot is rendered into again only once
// the fence of its previous write has signalled and `count - 1` newer frames
// have been handed out, so the display never samples a texture being written.
class TextureRing {
public:
    explicit TextureRing(int count) : m_slots(count) {}
    GLuint acquire(Gl *gl, int width, int height);
    void publish(Gl *gl);
    void release(Gl *gl);
    bool owns(GLuint texture) const;

private:
    struct Slot {
        GLuint texture = 0;
        int width = 0;
        int height = 0;
        GLsync fence = nullptr;
    };
    std::vector<Slot> m_slots;
    int m_next = 0;
    int m_current = -1;
};

// Intermediate textures, reused from frame to frame, keyed by their role.
class ScratchTextures {
public:
    GLuint get(Gl *gl, const std::string &role, int width, int height, GLenum internalFormat);
    void release(Gl *gl);

private:
    struct Entry {
        GLuint texture = 0;
        int width = 0;
        int height = 0;
        GLenum internalFormat = 0;
    };
    std::map<std::string, Entry> m_entries;
};


} // namespace velvix
