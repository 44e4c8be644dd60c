#pragma once

#include <cerrno>
#include <cstdint>

// Status codes of the capture layer. The worker's operations return them the
// way a platform camera interface does: zero is success, negative values are
// failures. System errors are carried as 0x8007xxxx with the errno in the low
// 16 bits, so a log line can name the system's error text.
using HRESULT = long;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(static_cast<int32_t>(0x80004005u));
// Returned by a reader when asked for a native media type past the last one.
constexpr HRESULT MF_E_NO_MORE_TYPES = static_cast<HRESULT>(static_cast<int32_t>(0xC00D36B9u));

inline bool hrSucceeded(HRESULT hr) { return hr >= 0; }
inline bool hrFailed(HRESULT hr) { return hr < 0; }

inline HRESULT hresultFromErrno(int error)
{
    if (error == 0)
        return S_OK;
    return static_cast<HRESULT>(static_cast<int32_t>(0x80070000u | (static_cast<uint32_t>(error) & 0xFFFFu)));
}

// The errno carried by a status made with hresultFromErrno, 0 for others.
inline int errnoFromHresult(HRESULT hr)
{
    const uint32_t code = static_cast<uint32_t>(hr);
    if ((code & 0xFFFF0000u) != 0x80070000u)
        return 0;
    return static_cast<int>(code & 0xFFFFu);
}
