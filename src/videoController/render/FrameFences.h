// Completion fences of frames drawn on one context (the capture thread's) and
// shown from another of the same share group (the view's). The renderer hands
// the frame's fence over instead of waiting for it on the CPU; the view makes
// the GPU wait for it (glWaitSync) before it samples the texture.
#pragma once

#include <QOpenGLExtraFunctions>

class QOpenGLContext;

namespace framefences {

// With `context` current: remembers `fence` (already flushed) as the end of
// the commands that wrote `texture`. A fence it replaces is deleted.
void post(QOpenGLContext *context, GLuint texture, GLsync fence);

// With `context` current: queues a GPU wait for the fence of `texture`, if
// one was posted in this share group and not yet waited for.
void waitBeforeSampling(QOpenGLContext *context, GLuint texture);

// Whether a fence for `texture` is posted and not yet waited for in the
// context's share group; and how many fences were ever posted (for tests).
bool isPending(QOpenGLContext *context, GLuint texture);
unsigned long long postedCount();

} // namespace framefences
