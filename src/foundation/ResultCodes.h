#pragma once

#include <cstdint>

// 32-bit result codes shared by every component: 0 is success, negative is failure.
// errno values are wrapped into the failure range so that SystemErrorText can give the
// system's own text for them.
using ResultCode = std::int32_t;

namespace Result {
constexpr ResultCode Ok = 0;
constexpr ResultCode GenericFailure = static_cast<ResultCode>(0x80004005u);
constexpr ResultCode OutOfMemory = static_cast<ResultCode>(0x8007000Eu);
constexpr ResultCode InvalidArgument = static_cast<ResultCode>(0x80070057u);

constexpr std::uint32_t ErrnoFacilityBits = 0x80070000u;

constexpr bool Failed(ResultCode code)
{
    return code < 0;
}
constexpr bool Succeeded(ResultCode code)
{
    return code >= 0;
}

// Wraps an errno value (1 to 0xFFFF); 0 or out-of-range values give the generic failure.
constexpr ResultCode FromErrno(int error)
{
    if (error <= 0 || error > 0xFFFF)
        return GenericFailure;
    return static_cast<ResultCode>(ErrnoFacilityBits | static_cast<std::uint32_t>(error));
}

// The errno inside a wrapped code, or 0 when the code does not wrap one.
constexpr int ToErrno(ResultCode code)
{
    const auto bits = static_cast<std::uint32_t>(code);
    if ((bits & 0xFFFF0000u) != ErrnoFacilityBits)
        return 0;
    // The three generic codes share the facility but are not errno values.
    if (code == OutOfMemory || code == InvalidArgument)
        return 0;
    return static_cast<int>(bits & 0xFFFFu);
}
} // namespace Result
