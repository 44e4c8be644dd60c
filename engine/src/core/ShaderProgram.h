// Shader programs built from the embedded sources. Sources are named by
// their path below engine/src ("core/copy.frag",
// "effects/beauty/beauty.glsl").
#pragma once

#include "core/Gl.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace velvix {

// Text of one embedded shader file, or null.
const char *shaderSource(const std::string &name);

class ShaderProgram {
public:
    // Builds fullscreen.vert with the named fragment file; `includes` are
    // pasted (in order) between the defines and the fragment file.
    bool build(Gl *gl, const std::string &fragment, const std::vector<std::string> &includes,
               const std::string &defines, std::string *error,
               const std::string &vertex = "core/fullscreen.vert");
    void destroy(Gl *gl);
    GLuint id() const { return m_id; }

    void use(Gl *gl) { gl->glUseProgram(m_id); }
    void set(Gl *gl, const char *name, int v) { gl->glUniform1i(location(gl, name), v); }
    void set(Gl *gl, const char *name, float v) { gl->glUniform1f(location(gl, name), v); }
    void set(Gl *gl, const char *name, float a, float b) { gl->glUniform2f(location(gl, name), a, b); }
    void set(Gl *gl, const char *name, float a, float b, float c)
    {
        gl->glUniform3f(location(gl, name), a, b, c);
    }
    void setInts(Gl *gl, const char *name, int a, int b) { gl->glUniform2i(location(gl, name), a, b); }

private:
    GLint location(Gl *gl, const char *name);

    GLuint m_id = 0;
    std::unordered_map<std::string, GLint> m_locations;
};

} // namespace velvix
