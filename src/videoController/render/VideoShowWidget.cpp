#include "VideoShowWidget.h"

#include "FrameFences.h"

#include <QDebug>
#include <QMetaObject>
#include <QOpenGLContext>
#include <QThread>
#include <QTimer>

namespace {

const char *const kVertexShader = R"(#version 410 core
layout(location = 0) in vec2 in_vPos;
layout(location = 1) in vec2 in_texcoord;
out vec2 out_texcoord;
void main()
{
    gl_Position = vec4(in_vPos, 0.0, 1.0);
    out_texcoord = in_texcoord;
}
)";

const char *const kFragmentShader = R"(#version 410 core
in vec2 out_texcoord;
out vec4 color;
uniform sampler2D textureImage;
void main()
{
    color = texture(textureImage, vec2(out_texcoord.x, 1.0 - out_texcoord.y));
}
)";

const char *const kMirrorFragmentShader = R"(#version 410 core
in vec2 out_texcoord;
out vec4 color;
uniform sampler2D textureImage;
void main()
{
    color = texture(textureImage, vec2(1.0 - out_texcoord.x, 1.0 - out_texcoord.y));
}
)";

// x, y, u, v for a triangle strip covering the viewport.
const GLfloat kVertices[] = {
    1.0f,  1.0f,  1.0f, 1.0f,
    1.0f,  -1.0f, 1.0f, 0.0f,
    -1.0f, 1.0f,  0.0f, 1.0f,
    -1.0f, -1.0f, 0.0f, 0.0f,
};

constexpr int kPictureRepaintDelayMs = 6;

const char *glErrorName(GLenum error)
{
    switch (error) {
    case 1280: return "INVALID_ENUM";
    case 1281: return "INVALID_VALUE";
    case 1282: return "INVALID_OPERATION";
    case 1283: return "STACK_OVERFLOW";
    case 1284: return "STACK_UNDERFLOW";
    case 1285: return "OUT_OF_MEMORY";
    case 1286: return "INVALID_FRAMEBUFFER_OPERATION";
    default: return "";
    }
}

} // namespace

VideoShowWidget::VideoShowWidget(QWidget *parent)
    : QOpenGLWidget(parent)
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("VideoShowWidget"));
    resize(400, 300);
    setWindowTitle(QStringLiteral("VideoShowWidget"));
    setStyleSheet(QStringLiteral(
        "border-width: 10px;\n"
        "border-color: qlineargradient(spread:pad, x1:0, y1:0, x2:1, y2:0, stop:0 rgba(9, 41, 4, 255), "
        "stop:0.085 rgba(2, 79, 0, 255), stop:0.19 rgba(50, 147, 22, 255), stop:0.275 rgba(236, 191, 49, 255), "
        "stop:0.39 rgba(243, 61, 34, 255), stop:0.555 rgba(135, 81, 60, 255), stop:0.667 rgba(121, 75, 255, 255), "
        "stop:0.825 rgba(164, 255, 244, 255), stop:0.885 rgba(104, 222, 71, 255), stop:1 rgba(93, 128, 0, 255));"));
    QMetaObject::connectSlotsByName(this);
    qRegisterMetaType<QSurface *>("QSurface*");
}

VideoShowWidget::~VideoShowWidget()
{
    makeCurrent();
    if (context() && context()->isValid()) {
        if (m_program)
            glDeleteProgram(m_program);
        if (m_mirrorProgram)
            glDeleteProgram(m_mirrorProgram);
        if (m_vbo)
            glDeleteBuffers(1, &m_vbo);
        if (m_vao)
            glDeleteVertexArrays(1, &m_vao);
    }
    doneCurrent();
}

GLenum VideoShowWidget::checkGLError(QOpenGLFunctions *gl, const char *file, int line)
{
    const GLenum error = gl->glGetError();
    if (error != GL_NO_ERROR)
        qDebug().noquote() << QStringLiteral("%1 | %2 (%3)\n").arg(glErrorName(error), file).arg(line);
    return error;
}

GLuint VideoShowWidget::compileShader(GLenum type, const char *source)
{
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        qDebug() << "make shader error" << log;
        glDeleteShader(shader);
        close();
        return 0;
    }
    return shader;
}

GLuint VideoShowWidget::linkProgram(GLuint vertexShader, GLuint fragmentShader)
{
    GLuint program = glCreateProgram();
    glAttachShader(program, vertexShader);
    glAttachShader(program, fragmentShader);
    glLinkProgram(program);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        qDebug() << "program link error";
        glDeleteProgram(program);
        close();
        return 0;
    }
    return program;
}

void VideoShowWidget::initializeGL()
{
    if (!QOpenGLContext::currentContext())
        qDebug() << "no opengl context";
    qDebug() << "Current context: " << QOpenGLContext::currentContext();

    initializeOpenGLFunctions();
    const QSurfaceFormat fmt = format();
    const char *profile = fmt.profile() == QSurfaceFormat::CoreProfile            ? "CoreProfile"
                          : fmt.profile() == QSurfaceFormat::CompatibilityProfile ? "CompatibilityProfile"
                                                                                  : "NoProfile";
    qDebug().noquote() << QStringLiteral("%1 %2 (%3)")
                              .arg(context()->isOpenGLES() ? QStringLiteral("OpenGL ES") : QStringLiteral("OpenGL"),
                                   QString::fromLatin1(reinterpret_cast<const char *>(glGetString(GL_VERSION))),
                                   QString::fromLatin1(profile));

    const GLuint vs = compileShader(GL_VERTEX_SHADER, kVertexShader);
    const GLuint fs = compileShader(GL_FRAGMENT_SHADER, kFragmentShader);
    const GLuint mfs = compileShader(GL_FRAGMENT_SHADER, kMirrorFragmentShader);
    m_program = linkProgram(vs, fs);
    m_mirrorProgram = linkProgram(vs, mfs);
    for (GLuint shader : {vs, fs, mfs}) {
        if (shader)
            glDeleteShader(shader);
    }
    m_samplerLocation = m_program ? glGetUniformLocation(m_program, "textureImage") : -1;
    m_mirrorSamplerLocation = m_mirrorProgram ? glGetUniformLocation(m_mirrorProgram, "textureImage") : -1;

    glGenVertexArrays(1, &m_vao);
    glBindVertexArray(m_vao);
    glGenBuffers(1, &m_vbo);
    glBindBuffer(GL_ARRAY_BUFFER, m_vbo);
    glBufferData(GL_ARRAY_BUFFER, sizeof kVertices, kVertices, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(GLfloat), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(GLfloat),
                          reinterpret_cast<const void *>(2 * sizeof(GLfloat)));
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    m_context = context();
    m_surface = m_context ? m_context->surface() : nullptr;
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    checkGLError(this, "VideoShowWidget.cpp", 140);

    emit signalSetOpenGLContext(m_context, m_surface);
    m_viewportX = 0;
    m_viewportY = 0;
    m_viewportWidth = width();
    m_viewportHeight = height();
}

QRect VideoShowWidget::fitViewport(double aspect, int width, int height, qreal devicePixelRatio)
{
    const double w = width * devicePixelRatio;
    const double h = height * devicePixelRatio;
    if (w >= aspect * h) {
        const double vw = aspect * h;
        return QRect(int((w - vw) * 0.5), 0, int(vw), int(h));
    }
    const double vh = w / aspect;
    return QRect(0, int((h - vh) * 0.5), int(w), int(vh));
}

void VideoShowWidget::updateViewport()
{
    double aspect;
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        aspect = m_aspectRatio;
    }
    if (aspect < 0)
        return;
    const QRect r = fitViewport(aspect, width(), height(), devicePixelRatioF());
    m_viewportX = r.x();
    m_viewportY = r.y();
    m_viewportWidth = r.width();
    m_viewportHeight = r.height();
}

int VideoShowWidget::textureId() const
{
    std::lock_guard<std::mutex> lock(m_frameMutex);
    return m_textureId;
}

void VideoShowWidget::slotRenderTexture(int textureId, int width, int height)
{
    if (textureId < 1)
        return;
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        m_textureId = textureId;
        if (width != m_frameWidth || height != m_frameHeight) {
            m_frameWidth = width;
            m_frameHeight = height;
            m_aspectRatio = height != 0 ? double(width) / double(height) : -1.0;
        }
    }

    if (QThread::currentThread() != thread()) {
        // Widgets may only be touched on their own thread; one queued request
        // is enough however many frames arrive before it runs.
        if (!m_repaintQueued.exchange(true))
            QMetaObject::invokeMethod(this, "requestRepaint", Qt::QueuedConnection);
        return;
    }
    requestRepaint(); // also refits the viewport
}

void VideoShowWidget::requestRepaint()
{
    m_repaintQueued.store(false);
    updateViewport();
    if (!m_pictureMode.load()) {
        update();
        return;
    }
    if (m_repaintPending)
        return;
    m_repaintPending = true;
    QTimer::singleShot(kPictureRepaintDelayMs, this, [this] {
        m_repaintPending = false;
        update();
    });
}

void VideoShowWidget::slotSetMirrored(bool mirrored)
{
    m_mirrored.store(mirrored);
}

void VideoShowWidget::setPictureMode(bool on)
{
    m_pictureMode.store(on);
}

void VideoShowWidget::resizeGL(int, int)
{
    updateViewport();
    emit resized();
}

void VideoShowWidget::paintGL()
{
    glViewport(m_viewportX, m_viewportY, m_viewportWidth, m_viewportHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    const bool useMirror = m_mirrored.load() && !m_pictureMode.load();
    const GLuint program = useMirror ? m_mirrorProgram : m_program;
    const GLint sampler = useMirror ? m_mirrorSamplerLocation : m_samplerLocation;
    const GLuint texture = GLuint(textureId());

    // Frames made on the capture thread's context are finished by the GPU
    // before this draw reads them; the capture thread does not wait.
    framefences::waitBeforeSampling(context(), texture);
    glUseProgram(program);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glUniform1i(sampler, 0);
    glBindVertexArray(m_vao);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindVertexArray(0);
}
