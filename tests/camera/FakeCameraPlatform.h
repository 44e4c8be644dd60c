#pragma once

// A scripted capture layer for the tests: devices with given names, links
// and native types; reads that deliver frames until told to fail; a flush
// that wakes a blocked read unless the script says the read is stuck.

#include "FrameLayout.h"
#include "PixelFourcc.h"
#include "platform/CameraPlatform.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

struct FakeScript
{
    std::mutex mutex;
    std::condition_variable wake;

    // Device behaviour.
    HRESULT openStatus = S_OK;
    int opensBeforeFailure = -1;            // -1: every open succeeds
    int opens = 0;
    HRESULT readerStatus = S_OK;
    int readsBeforeFailure = -1;            // -1: never fails
    HRESULT failureStatus = hresultFromErrno(ENODEV);
    std::chrono::milliseconds frameInterval{0};
    bool ignoreFlush = false;               // a read that never returns early
    size_t bytesPerLine = 0;                // 0: tightly packed buffers
    long lengthAdjust = 0;                  // bytes added to (or cut from) each buffer
    int buffersPerSample = 1;

    // What happened.
    std::vector<std::wstring> openedLinks;
    std::vector<CameraMediaType> setTypes;
    int reads = 0;
    int flushes = 0;
    int shutdowns = 0;
    bool flushPending = false;
    bool readBlocked = false;
    bool stuckReleased = false;             // lets a stuck read end at test clean-up

    void releaseStuckRead()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stuckReleased = true;
        }
        wake.notify_all();
    }
};

struct FakeDeviceSpec
{
    std::wstring friendlyName;
    std::wstring link;
    std::vector<CameraMediaType> types;
};

inline CameraMediaType fakeType(uint32_t subtype, uint32_t w, uint32_t h, uint32_t num = 30, uint32_t den = 1)
{
    CameraMediaType t;
    t.subtype = subtype;
    t.width = w;
    t.height = h;
    t.rateNumerator = num;
    t.rateDenominator = den;
    return t;
}

class FakeSample final : public CameraSample
{
public:
    FakeSample(std::vector<std::vector<unsigned char>> buffers, size_t bytesPerLine)
        : m_buffers(std::move(buffers)), m_bytesPerLine(bytesPerLine)
    {
    }
    int bufferCount() const override { return static_cast<int>(m_buffers.size()); }
    HRESULT lockBuffer(int i, CameraBufferView *view) override
    {
        view->data = m_buffers[static_cast<size_t>(i)].data();
        view->length = m_buffers[static_cast<size_t>(i)].size();
        view->bytesPerLine = m_bytesPerLine;
        return S_OK;
    }
    HRESULT unlockBuffer(int) override { return S_OK; }

private:
    std::vector<std::vector<unsigned char>> m_buffers;
    size_t m_bytesPerLine;
};

class FakeReader final : public CameraReader
{
public:
    FakeReader(std::shared_ptr<FakeScript> script, std::vector<CameraMediaType> types)
        : m_script(std::move(script)), m_types(std::move(types))
    {
    }

    HRESULT nativeMediaType(uint32_t index, CameraMediaType *type) override
    {
        if (index >= m_types.size())
            return MF_E_NO_MORE_TYPES;
        *type = m_types[index];
        return S_OK;
    }
    HRESULT setCurrentMediaType(const CameraMediaType &type) override
    {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        m_script->setTypes.push_back(type);
        m_current = type;
        return S_OK;
    }
    HRESULT currentMediaType(CameraMediaType *type) override
    {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        *type = m_current;
        return S_OK;
    }
    HRESULT readSample(std::unique_ptr<CameraSample> *sample) override
    {
        sample->reset();
        std::unique_lock<std::mutex> lock(m_script->mutex);
        FakeScript &s = *m_script;
        ++s.reads;
        if (s.readsBeforeFailure >= 0 && s.reads > s.readsBeforeFailure)
            return s.failureStatus;
        s.readBlocked = true;
        if (s.ignoreFlush) {
            s.wake.wait(lock, [&s] { return s.stuckReleased; });
        } else {
            const auto deadline = std::chrono::steady_clock::now() + s.frameInterval;
            s.wake.wait_until(lock, deadline, [&s] { return s.flushPending; });
        }
        s.readBlocked = false;
        if (s.flushPending || s.stuckReleased) {
            s.flushPending = false;
            return S_OK;
        }
        const QVideoFrame::PixelFormat format = pixelFormatFromFourcc(m_current.subtype);
        const int w = static_cast<int>(m_current.width), h = static_cast<int>(m_current.height);
        size_t length = packedFrameSize(format, w, h);
        if (length == 0)
            length = 1000; // a compressed frame of some size
        if (s.bytesPerLine) {
            const auto planes = packedPlanes(format, w, h);
            size_t rows = 0;
            for (const auto &p : planes)
                rows += p.rows;
            length = s.bytesPerLine * planes[0].rows;
            for (size_t i = 1; i < planes.size(); ++i)
                length += (planes.size() == 3 ? s.bytesPerLine / 2 : s.bytesPerLine) * planes[i].rows;
        }
        length = static_cast<size_t>(static_cast<long>(length) + s.lengthAdjust);
        std::vector<std::vector<unsigned char>> buffers;
        for (int b = 0; b < s.buffersPerSample; ++b) {
            std::vector<unsigned char> data(length);
            for (size_t i = 0; i < length; ++i)
                data[i] = static_cast<unsigned char>((i * 7 + static_cast<size_t>(s.reads) + static_cast<size_t>(b) * 13) & 0xFF);
            buffers.push_back(std::move(data));
        }
        *sample = std::make_unique<FakeSample>(std::move(buffers), s.bytesPerLine);
        return S_OK;
    }
    HRESULT flush() override
    {
        {
            std::lock_guard<std::mutex> lock(m_script->mutex);
            ++m_script->flushes;
            m_script->flushPending = true;
        }
        m_script->wake.notify_all();
        return S_OK;
    }

private:
    std::shared_ptr<FakeScript> m_script;
    std::vector<CameraMediaType> m_types;
    CameraMediaType m_current;
};

class FakeSource final : public CameraSource
{
public:
    FakeSource(std::shared_ptr<FakeScript> script, std::vector<CameraMediaType> types)
        : m_script(std::move(script)), m_types(std::move(types))
    {
    }
    HRESULT createReader(std::shared_ptr<CameraReader> *reader) override
    {
        {
            std::lock_guard<std::mutex> lock(m_script->mutex);
            if (hrFailed(m_script->readerStatus))
                return m_script->readerStatus;
        }
        *reader = std::make_shared<FakeReader>(m_script, m_types);
        return S_OK;
    }
    void shutdown() override
    {
        std::lock_guard<std::mutex> lock(m_script->mutex);
        ++m_script->shutdowns;
    }

private:
    std::shared_ptr<FakeScript> m_script;
    std::vector<CameraMediaType> m_types;
};

class FakeCameraPlatform final : public CameraPlatform
{
public:
    std::shared_ptr<FakeScript> script = std::make_shared<FakeScript>();

    void setDevices(std::vector<FakeDeviceSpec> devices)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_devices = std::move(devices);
    }

    HRESULT enumerateDevices(std::vector<CameraDeviceInfo> *devices) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        devices->clear();
        for (const auto &d : m_devices)
            devices->push_back({d.friendlyName, d.link});
        return S_OK;
    }
    HRESULT createSource(const std::wstring &link, std::shared_ptr<CameraSource> *source) override
    {
        std::vector<CameraMediaType> types;
        bool found = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (const auto &d : m_devices) {
                if (d.link == link) {
                    types = d.types;
                    found = true;
                }
            }
        }
        std::lock_guard<std::mutex> lock(script->mutex);
        script->openedLinks.push_back(link);
        if (!found)
            return hresultFromErrno(ENODEV);
        if (hrFailed(script->openStatus))
            return script->openStatus;
        if (script->opensBeforeFailure >= 0 && script->opens >= script->opensBeforeFailure)
            return hresultFromErrno(EBUSY);
        ++script->opens;
        *source = std::make_shared<FakeSource>(script, types);
        return S_OK;
    }

private:
    std::mutex m_mutex;
    std::vector<FakeDeviceSpec> m_devices;
};
