#pragma once

// A recording stand-in for the effect engine: it remembers every call (with
// the thread and whether an OpenGL context was current) and hands out texture
// ids without touching the GPU.

#include <velvix/VelvixDll.h>

#include "ProcessController.h"

#include <QOpenGLContext>
#include <QThread>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct EngineCall
{
    std::string op;
    std::string name;
    int value = 0;
    bool hasPath = false;
    std::string path;
    bool hasExtra = false;
    std::string extra;
    int width = 0;
    int height = 0;
    Qt::HANDLE thread = nullptr;
    bool hadContext = false;
    bool flag = false;
};

class FakeEngine final : public velvix::Velvix
{
public:
    FakeEngine(int id, std::string dir, int width, int height)
        : id(id), resourceDir(std::move(dir)), createdWidth(width), createdHeight(height)
    {
    }
    ~FakeEngine() = default;

    int applyProperty(const velvix::VelvixProperty *property) override
    {
        EngineCall c;
        c.op = "applyProperty";
        c.name = property->key ? property->key : "";
        c.value = property->kind;
        c.hasExtra = property->value != nullptr;
        c.extra = property->value ? property->value : "";
        c.flag = property->flag;
        push(std::move(c));
        return 0;
    }
    int applyEffect(const char *effectName, int value, const char *resourcePath, const char *extraInfo) override
    {
        EngineCall c;
        c.op = "applyEffect";
        c.name = effectName ? effectName : "";
        c.value = value;
        c.hasPath = resourcePath != nullptr;
        c.path = resourcePath ? resourcePath : "";
        c.hasExtra = extraInfo != nullptr;
        c.extra = extraInfo ? extraInfo : "";
        push(std::move(c));
        return 0;
    }
    int processTexture(int textureId, int width, int height) override
    {
        ++processCount;
        noteContext();
        if (recordFrames)
            push(simple("processTexture", textureId, width, height));
        return processResult != 0 ? processResult : textureId + 5000;
    }
    int I420ToRgbTexture(const unsigned char *data, int width, int height, int flag) override
    {
        return upload("I420ToRgbTexture", data, width, height, flag);
    }
    int NV12ToRgbTexture(const unsigned char *data, int width, int height, int flag) override
    {
        return upload("NV12ToRgbTexture", data, width, height, flag);
    }
    int resizeOutput(int width, int height) override
    {
        push(simple("resizeOutput", 0, width, height));
        if (onResize)
            onResize();
        return 0;
    }
    int clearAllEffects() override
    {
        ++clearCount;
        push(simple("clearAllEffects", 0, 0, 0));
        return 0;
    }

    std::vector<EngineCall> snapshot() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    std::vector<std::string> ops() const
    {
        std::vector<std::string> out;
        for (const EngineCall &c : snapshot())
            out.push_back(c.op);
        return out;
    }

    const int id;
    const std::string resourceDir;
    const int createdWidth;
    const int createdHeight;

    // Frame calls are recorded only on request, so that a long run neither
    // allocates nor grows.
    bool recordFrames = true;
    bool keepUploads = false;
    int uploadResult = 0;   // 0: hand out fresh ids
    int processResult = 0;  // 0: input id + 5000
    std::atomic<int> uploadCount{0};
    std::atomic<int> processCount{0};
    std::atomic<int> clearCount{0};
    std::atomic<int> callsWithoutContext{0};
    std::vector<unsigned char> lastUpload;
    // Runs inside resizeOutput, with whatever context the caller made current.
    std::function<void()> onResize;

private:
    EngineCall simple(const char *op, int value, int width, int height)
    {
        EngineCall c;
        c.op = op;
        c.value = value;
        c.width = width;
        c.height = height;
        return c;
    }
    void noteContext()
    {
        if (!QOpenGLContext::currentContext())
            ++callsWithoutContext;
    }
    int upload(const char *op, const unsigned char *data, int width, int height, int flag)
    {
        ++uploadCount;
        noteContext();
        if (keepUploads) {
            std::lock_guard<std::mutex> lock(mutex);
            const size_t size = size_t(width) * size_t(height) * 3 / 2;
            lastUpload.assign(data, data + size);
        }
        if (recordFrames)
            push(simple(op, flag, width, height));
        if (uploadResult != 0)
            return uploadResult;
        return 100 + (m_nextTexture++ % 4);
    }
    void push(EngineCall c)
    {
        c.thread = QThread::currentThreadId();
        c.hadContext = QOpenGLContext::currentContext() != nullptr;
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(std::move(c));
    }

    mutable std::mutex mutex;
    std::vector<EngineCall> calls;
    int m_nextTexture = 0;
};

// Makes FakeEngines for a ProcessController and keeps track of their lives.
struct FakeEngineRegistry
{
    std::vector<FakeEngine *> alive;
    std::vector<int> destroyed;
    std::vector<std::string> events;
    // Per destroyed engine: how often its effects were cleared, and whether
    // an OpenGL context was current when it went.
    std::vector<int> clearsAtDestroy;
    std::vector<bool> contextAtDestroy;
    int created = 0;

    ProcessController::EngineFactory factory()
    {
        return {[this](const char *dir, int w, int h) -> velvix::Velvix * {
                    auto *engine = new FakeEngine(++created, dir ? dir : "", w, h);
                    events.push_back("create " + std::to_string(engine->id));
                    alive.push_back(engine);
                    return engine;
                },
                [this](velvix::Velvix **holder) {
                    auto *engine = static_cast<FakeEngine *>(*holder);
                    destroyed.push_back(engine->id);
                    events.push_back("destroy " + std::to_string(engine->id));
                    clearsAtDestroy.push_back(engine->clearCount.load());
                    contextAtDestroy.push_back(QOpenGLContext::currentContext() != nullptr);
                    for (auto it = alive.begin(); it != alive.end(); ++it) {
                        if (*it == engine) {
                            alive.erase(it);
                            break;
                        }
                    }
                    delete engine;
                    *holder = nullptr;
                }};
    }
    FakeEngine *last() const { return alive.empty() ? nullptr : alive.back(); }
};
