#include "ui/theme/Theme.h"

#include <array>

namespace {

//                                                          dark      light
constexpr std::array<AdaptiveColor, 8> channelColors{{
    {0x6CA8FF, 0x2F6FD6},
    {0xC89BFF, 0x7B4FC9},
    {0x4FD1C5, 0x0E8077},
    {0xF7A1C4, 0xB8406F},
    {0x7FD3F7, 0x1F7FA8},
    {0xE0B48A, 0x8A5A2B},
    {0xB5D98A, 0x4F6B2E},
    {0xA9A1F0, 0x6A5ACD},
}};

} // namespace

QColor channelColor(Appearance appearance, int index)
{
    if (index < 0)
        return Theme::ink.resolve(appearance);
    return channelColors[static_cast<std::size_t>(index) % channelColors.size()].resolve(appearance);
}

QColor channelColor(int index)
{
    return channelColor(currentAppearance(), index);
}
