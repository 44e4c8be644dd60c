#include "core/ShaderProgram.h"

#include "VelvixShaderSources.h"

namespace velvix {

const char *shaderSource(const std::string &name)
{
    for (const auto &source : shaders::kSources) {
        if (name == source.name)
            return source.text;
    }
    return nullptr;
}

namespace {

GLuint compileStage(Gl *gl, GLenum stage, const std::string &text, std::string *error)
{
    GLuint shader = gl->glCreateShader(stage);
    const char *ptr = text.c_str();
    gl->glShaderSource(shader, 1, &ptr, nullptr);
    gl->glCompileShader(shader);
    GLint ok = 0;
    gl->glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {0};
        gl->glGetShaderInfoLog(shader, sizeof(log) - 1, nullptr, log);
        if (error)
            *error = log;
        gl->glDeleteShader(shader);
        return 0;
    }
    return shader;
}

} // namespace

bool ShaderProgram::build(Gl *gl, const std::string &fragment, const std::vector<std::string> &includes,
                          const std::string &defines, std::string *error, const std::string &vertex)
{
    const char *vertexText = shaderSource(vertex);
    const char *fragmentText = shaderSource(fragment);
    if (!vertexText || !fragmentText) {
        if (error)
            *error = "missing shader source " + fragment;
        return false;
    }
    const std::string header = "#version 410 core\n";
    std::string fragmentAll = header + defines;
    for (const auto &name : includes) {
        const char *text = shaderSource(name);
        if (!text) {
            if (error)
                *error = "missing shader source " + name;
            return false;
        }
        fragmentAll += text;
        fragmentAll += "\n";
    }
    fragmentAll += fragmentText;

    GLuint vs = compileStage(gl, GL_VERTEX_SHADER, header + defines + vertexText, error);
    if (!vs)
        return false;
    GLuint fs = compileStage(gl, GL_FRAGMENT_SHADER, fragmentAll, error);
    if (!fs) {
        gl->glDeleteShader(vs);
        return false;
    }
    GLuint program = gl->glCreateProgram();
    gl->glAttachShader(program, vs);
    gl->glAttachShader(program, fs);
    gl->glLinkProgram(program);
    gl->glDeleteShader(vs);
    gl->glDeleteShader(fs);
    GLint ok = 0;
    gl->glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[2048] = {0};
        gl->glGetProgramInfoLog(program, sizeof(log) - 1, nullptr, log);
        if (error)
            *error = log;
        gl->glDeleteProgram(program);
        return false;
    }
    m_id = program;
    m_locations.clear();
    return true;
}

void ShaderProgram::destroy(Gl *gl)
{
    if (m_id && gl)
        gl->glDeleteProgram(m_id);
    m_id = 0;
    m_locations.clear();
}

GLint ShaderProgram::location(Gl *gl, const char *name)
{
    auto it = m_locations.find(name);
    if (it != m_locations.end())
        return it->second;
    GLint loc = gl->glGetUniformLocation(m_id, name);
    m_locations.emplace(name, loc);
    return loc;
}

} // namespace velvix
