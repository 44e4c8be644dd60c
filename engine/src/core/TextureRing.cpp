#include "core/TextureRing.h"

namespace velvix {

GLuint TextureRing::acquire(Gl *gl, int width, int height)
{
    Slot &slot = m_slots[static_cast<size_t>(m_next)];
    m_current = m_next;
    m_next = (m_next + 1) % static_cast<int>(m_slots.size());
    if (slot.fence) {
        // Normally long signalled; the bound only keeps a lost GPU from
        // freezing the caller.
        gl->glClientWaitSync(slot.fence, GL_SYNC_FLUSH_COMMANDS_BIT, 100000000ull);
        gl->glDeleteSync(slot.fence);
        slot.fence = nullptr;
    }
    if (slot.texture && (slot.width != width || slot.height != height)) {
        gl->glDeleteTextures(1, &slot.texture);
        slot.texture = 0;
    }
    if (!slot.texture) {
        slot.texture = createTexture2D(gl, GL_RGBA8, width, height, GL_RGBA, GL_UNSIGNED_BYTE);
        slot.width = width;
        slot.height = height;
    }
    return slot.texture;
}

void TextureRing::publish(Gl *gl)
{
    if (m_current < 0)
        return;
    Slot &slot = m_slots[static_cast<size_t>(m_current)];
    if (slot.fence)
        gl->glDeleteSync(slot.fence);
    slot.fence = gl->glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
}

void TextureRing::release(Gl *gl)
{
    for (Slot &slot : m_slots) {
        if (gl) {
            if (slot.fence)
                gl->glDeleteSync(slot.fence);
            if (slot.texture)
                gl->glDeleteTextures(1, &slot.texture);
        }
        slot = Slot();
    }
    m_next = 0;
    m_current = -1;
}

bool TextureRing::owns(GLuint texture) const
{
    for (const Slot &slot : m_slots) {
        if (slot.texture && slot.texture == texture)
            return true;
    }
    return false;
}

GLuint ScratchTextures::get(Gl *gl, const std::string &role, int width, int height, GLenum internalFormat)
{
    Entry &entry = m_entries[role];
    if (entry.texture && entry.width == width && entry.height == height
        && entry.internalFormat == internalFormat)
        return entry.texture;
    if (entry.texture)
        gl->glDeleteTextures(1, &entry.texture);
    const bool isFloat = internalFormat == GL_RGBA16F;
    entry.texture = createTexture2D(gl, internalFormat, width, height, GL_RGBA,
                                    isFloat ? GL_HALF_FLOAT : GL_UNSIGNED_BYTE);
    entry.width = width;
    entry.height = height;
    entry.internalFormat = internalFormat;
    return entry.texture;
}

void ScratchTextures::release(Gl *gl)
{
    if (gl) {
        for (auto &item : m_entries) {
            if (item.second.texture)
                gl->glDeleteTextures(1, &item.second.texture);
        }
    }
    m_entries.clear();
}

} // namespace velvix
