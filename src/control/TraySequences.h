#pragma once

#include <cstdint>

// The tray icon's sequences: what the processing state shows.
namespace TraySequence {
constexpr std::uint16_t Stopped = 0;
constexpr std::uint16_t Waiting = 1;
constexpr std::uint16_t Cycle = 2;
constexpr std::uint16_t Failed = 3;
constexpr std::uint16_t Starting = 4;
constexpr std::uint16_t Stopping = 5;
} // namespace TraySequence
