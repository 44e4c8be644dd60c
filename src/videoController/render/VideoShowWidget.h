#pragma once

#include <QOpenGLExtraFunctions>
#include <QOpenGLWidget>
#include <QRect>

#include <QSurface>

#include <atomic>
#include <mutex>

class QOpenGLContext;

// The display area: owns the application's OpenGL context, hands it to the
// frame pipeline once it exists and draws the texture it is given, fitted with
// its aspect ratio kept and optionally mirrored.
//
// slotRenderTexture() may be called from the capture worker thread: it only
// stores the frame under a lock and asks the GUI thread for a repaint.
class VideoShowWidget : public QOpenGLWidget, protected QOpenGLExtraFunctions
{
    Q_OBJECT
public:
    explicit VideoShowWidget(QWidget *parent = nullptr);
    ~VideoShowWidget() override;

    void setPictureMode(bool on);
    bool pictureMode() const { return m_pictureMode.load(); }
    bool mirrored() const { return m_mirrored.load(); }

    // Centred viewport of a frame with the given aspect ratio inside a widget
    // of logical size width × height at the given device pixel ratio.
    static QRect fitViewport(double aspect, int width, int height, qreal devicePixelRatio);
    QRect viewport() const { return QRect(m_viewportX, m_viewportY, m_viewportWidth, m_viewportHeight); }
    int textureId() const;

    // Logs the pending OpenGL error, if any, with its source place; returns it.
    static GLenum checkGLError(QOpenGLFunctions *gl, const char *file, int line);

signals:
    void signalSetOpenGLContext(QOpenGLContext *context, QSurface *surface);
    void resized();

public slots:
    void slotRenderTexture(int textureId, int width, int height);
    void slotSetMirrored(bool mirrored);

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private slots:
    void requestRepaint();

private:
    GLuint compileShader(GLenum type, const char *source);
    GLuint linkProgram(GLuint vertexShader, GLuint fragmentShader);
    void updateViewport();

    GLuint m_vao = 0;
    GLuint m_vbo = 0;
    GLuint m_program = 0;
    GLuint m_mirrorProgram = 0;
    GLint m_samplerLocation = -1;
    GLint m_mirrorSamplerLocation = -1;
    QOpenGLContext *m_context = nullptr;
    QSurface *m_surface = nullptr;

    std::atomic<bool> m_mirrored{true};
    std::atomic<bool> m_pictureMode{false};
    bool m_repaintPending = false;
    std::atomic<bool> m_repaintQueued{false};

    // Written by whichever thread delivers frames, read while painting.
    // std::mutex rather than QMutex so ThreadSanitizer can follow it.
    mutable std::mutex m_frameMutex;
    int m_textureId = 0;
    int m_frameWidth = 0;
    int m_frameHeight = 0;
    double m_aspectRatio = -1.0;

    int m_viewportX = 0;
    int m_viewportY = 0;
    int m_viewportWidth = 0;
    int m_viewportHeight = 0;
};

