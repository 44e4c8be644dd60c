#include "FrameFences.h"

#include <QOpenGLContext>

#include <map>
#include <mutex>
#include <utility>

namespace framefences {

namespace {

// Newest last. A handful of textures are in flight at a time (the engine's
// output ring and, in comparison mode, its upload ring).
constexpr size_t kMaxPending = 16;

// A fixed queue: posting happens on every frame and must not allocate.
struct Queue {
    std::pair<GLuint, GLsync> entries[kMaxPending];
    size_t size = 0;

    void removeAt(size_t index)
    {
        for (size_t i = index + 1; i < size; ++i)
            entries[i - 1] = entries[i];
        --size;
    }
};

struct Registry {
    std::mutex mutex;
    std::map<QOpenGLContextGroup *, Queue> groups;
    unsigned long long posted = 0;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

void forgetGroupOnDestruction(QOpenGLContextGroup *group)
{
    // The group's objects, fences included, go with it.
    QObject::connect(group, &QObject::destroyed, [group] {
        Registry &r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.groups.erase(group);
    });
}

} // namespace

void post(QOpenGLContext *context, GLuint texture, GLsync fence)
{
    if (!context || !fence)
        return;
    QOpenGLContextGroup *group = context->shareGroup();
    GLsync stale[2] = {nullptr, nullptr};
    {
        Registry &r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        auto found = r.groups.find(group);
        if (found == r.groups.end()) {
            found = r.groups.emplace(group, Queue()).first;
            forgetGroupOnDestruction(group);
        }
        Queue &queue = found->second;
        for (size_t i = 0; i < queue.size; ++i) {
            if (queue.entries[i].first == texture) {
                stale[0] = queue.entries[i].second;
                queue.removeAt(i);
                break;
            }
        }
        if (queue.size == kMaxPending) {
            stale[1] = queue.entries[0].second;
            queue.removeAt(0);
        }
        queue.entries[queue.size++] = {texture, fence};
        ++r.posted;
    }
    QOpenGLExtraFunctions *gl = context->extraFunctions();
    for (GLsync old : stale) {
        if (old)
            gl->glDeleteSync(old);
    }
}

void waitBeforeSampling(QOpenGLContext *context, GLuint texture)
{
    if (!context || !texture)
        return;
    GLsync fence = nullptr;
    {
        Registry &r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        auto found = r.groups.find(context->shareGroup());
        if (found == r.groups.end())
            return;
        Queue &queue = found->second;
        for (size_t i = 0; i < queue.size; ++i) {
            if (queue.entries[i].first == texture) {
                fence = queue.entries[i].second;
                queue.removeAt(i);
                break;
            }
        }
    }
    if (!fence)
        return;
    QOpenGLExtraFunctions *gl = context->extraFunctions();
    gl->glWaitSync(fence, 0, GL_TIMEOUT_IGNORED);
    gl->glDeleteSync(fence);
}

bool isPending(QOpenGLContext *context, GLuint texture)
{
    if (!context)
        return false;
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto found = r.groups.find(context->shareGroup());
    if (found == r.groups.end())
        return false;
    const Queue &queue = found->second;
    for (size_t i = 0; i < queue.size; ++i) {
        if (queue.entries[i].first == texture)
            return true;
    }
    return false;
}

unsigned long long postedCount()
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.posted;
}

} // namespace framefences
