#pragma once

#include <array>
#include <cstdint>

namespace tovrel::recording {

// One row of a level table: the level applies to pixel rates (width x height x whole frames
// per second) up to and including `maxPixelRate`.
struct LevelBound {
    uint32_t maxPixelRate;
    uint32_t level;
};

// H.264 level numbers times ten (41 is level 4.1).
inline constexpr std::array<LevelBound, 12> kH264Levels{{
    {768'000, 11},
    {1'536'000, 12},
    {3'041'280, 20},
    {5'068'800, 21},
    {5'184'000, 22},
    {10'368'000, 30},
    {27'648'000, 31},
    {55'296'000, 32},
    {62'914'560, 41},
    {133'693'440, 42},
    {150'994'944, 50},
    {251'658'240, 51},
}};
inline constexpr uint32_t kH264TopLevel = 52;

// HEVC level numbers times thirty (123 is level 4.1).
inline constexpr std::array<LevelBound, 11> kHevcLevels{{
    {552'960, 30},
    {3'686'400, 60},
    {7'372'800, 63},
    {16'588'800, 90},
    {33'177'600, 93},
    {66'846'720, 120},
    {133'693'440, 123},
    {267'386'880, 150},
    {534'773'760, 153},
    {1'069'547'520, 180},
    {2'139'095'040, 183},
}};
inline constexpr uint32_t kHevcTopLevel = 186;

// The level written to MF_MT_MPEG2_LEVEL for the capture size and whole frame rate. Any thread.
uint32_t SelectH264Level(uint32_t width, uint32_t height, uint32_t fps);
uint32_t SelectHevcLevel(uint32_t width, uint32_t height, uint32_t fps);

}  // namespace tovrel::recording
