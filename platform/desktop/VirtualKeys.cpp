#include "platform/desktop/VirtualKeys.h"

#include <X11/keysym.h>

namespace kr {

namespace {

struct Row {
    int vk;
    std::uint32_t keysym;
};

// Letters, digits and the function keys are ranges; the rest is listed.
constexpr Row kKeys[] = {
    {8, XK_BackSpace},     {9, XK_Tab},           {12, XK_Clear},        {13, XK_Return},
    {16, XK_Shift_L},      {17, XK_Control_L},    {18, XK_Alt_L},        {19, XK_Pause},
    {20, XK_Caps_Lock},    {27, XK_Escape},       {32, XK_space},        {33, XK_Prior},
    {34, XK_Next},         {35, XK_End},          {36, XK_Home},         {37, XK_Left},
    {38, XK_Up},           {39, XK_Right},        {40, XK_Down},         {41, XK_Select},
    {43, XK_Execute},      {44, XK_Print},        {45, XK_Insert},
    {46, XK_Delete},       {47, XK_Help},         {91, XK_Super_L},      {92, XK_Super_R},
    {93, XK_Menu},         {106, XK_KP_Multiply}, {107, XK_KP_Add},      {108, XK_KP_Separator},
    {109, XK_KP_Subtract}, {110, XK_KP_Decimal},  {111, XK_KP_Divide},   {144, XK_Num_Lock},
    {145, XK_Scroll_Lock}, {160, XK_Shift_L},     {161, XK_Shift_R},     {162, XK_Control_L},
    {163, XK_Control_R},   {164, XK_Alt_L},       {165, XK_Alt_R},       {186, XK_semicolon},
    {187, XK_equal},       {188, XK_comma},       {189, XK_minus},       {190, XK_period},
    {191, XK_slash},       {192, XK_grave},       {219, XK_bracketleft}, {220, XK_backslash},
    {221, XK_bracketright}, {222, XK_apostrophe}, 
    {226, XK_less},
};

}  // namespace

std::uint32_t VirtualKeyToKeysym(int vk) {
    if (vk >= 'A' && vk <= 'Z') return XK_a + (vk - 'A');
    if (vk >= '0' && vk <= '9') return XK_0 + (vk - '0');
    if (vk >= 96 && vk <= 105) return XK_KP_0 + (vk - 96);
    if (vk >= 112 && vk <= 135) return XK_F1 + (vk - 112);  // F1 .. F24
    for (const Row& r : kKeys)
        if (r.vk == vk) return r.keysym;
    return 0;
}

int KeysymToVirtualKey(std::uint32_t keysym) {
    if (keysym >= XK_a && keysym <= XK_z) return 'A' + static_cast<int>(keysym - XK_a);
    if (keysym >= XK_A && keysym <= XK_Z) return 'A' + static_cast<int>(keysym - XK_A);
    if (keysym >= XK_0 && keysym <= XK_9) return '0' + static_cast<int>(keysym - XK_0);
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return 96 + static_cast<int>(keysym - XK_KP_0);
    if (keysym >= XK_F1 && keysym <= XK_F24) return 112 + static_cast<int>(keysym - XK_F1);
    for (const Row& r : kKeys)
        if (r.keysym == keysym) return r.vk;
    return 0;
}

}  // namespace kr
