#include "platform/virtualkeys.h"

#include <Qt>

#include <array>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace {

using VirtualKeys::Info;

// Virtual key, US key symbol, X key code of the same position (evdev + 8), Qt key.
constexpr std::array table{
    Info{0, XKB_KEY_a, 38, Qt::Key_A},
    Info{1, XKB_KEY_s, 39, Qt::Key_S},
    Info{2, XKB_KEY_d, 40, Qt::Key_D},
    Info{3, XKB_KEY_f, 41, Qt::Key_F},
    Info{4, XKB_KEY_h, 43, Qt::Key_H},
    Info{5, XKB_KEY_g, 42, Qt::Key_G},
    Info{6, XKB_KEY_z, 52, Qt::Key_Z},
    Info{7, XKB_KEY_x, 53, Qt::Key_X},
    Info{8, XKB_KEY_c, 54, Qt::Key_C},
    Info{9, XKB_KEY_v, 55, Qt::Key_V},
    Info{11, XKB_KEY_b, 56, Qt::Key_B},
    Info{12, XKB_KEY_q, 24, Qt::Key_Q},
    Info{13, XKB_KEY_w, 25, Qt::Key_W},
    Info{14, XKB_KEY_e, 26, Qt::Key_E},
    Info{15, XKB_KEY_r, 27, Qt::Key_R},
    Info{16, XKB_KEY_y, 29, Qt::Key_Y},
    Info{17, XKB_KEY_t, 28, Qt::Key_T},
    Info{18, XKB_KEY_1, 10, Qt::Key_1},
    Info{19, XKB_KEY_2, 11, Qt::Key_2},
    Info{20, XKB_KEY_3, 12, Qt::Key_3},
    Info{21, XKB_KEY_4, 13, Qt::Key_4},
    Info{22, XKB_KEY_6, 15, Qt::Key_6},
    Info{23, XKB_KEY_5, 14, Qt::Key_5},
    Info{24, XKB_KEY_equal, 21, Qt::Key_Equal},
    Info{25, XKB_KEY_9, 18, Qt::Key_9},
    Info{26, XKB_KEY_7, 16, Qt::Key_7},
    Info{27, XKB_KEY_minus, 20, Qt::Key_Minus},
    Info{28, XKB_KEY_8, 17, Qt::Key_8},
    Info{29, XKB_KEY_0, 19, Qt::Key_0},
    Info{30, XKB_KEY_bracketright, 35, Qt::Key_BracketRight},
    Info{31, XKB_KEY_o, 32, Qt::Key_O},
    Info{32, XKB_KEY_u, 30, Qt::Key_U},
    Info{33, XKB_KEY_bracketleft, 34, Qt::Key_BracketLeft},
    Info{34, XKB_KEY_i, 31, Qt::Key_I},
    Info{35, XKB_KEY_p, 33, Qt::Key_P},
    Info{36, XKB_KEY_Return, 36, Qt::Key_Return},
    Info{37, XKB_KEY_l, 46, Qt::Key_L},
    Info{38, XKB_KEY_j, 44, Qt::Key_J},
    Info{39, XKB_KEY_apostrophe, 48, Qt::Key_Apostrophe},
    Info{40, XKB_KEY_k, 45, Qt::Key_K},
    Info{41, XKB_KEY_semicolon, 47, Qt::Key_Semicolon},
    Info{42, XKB_KEY_backslash, 51, Qt::Key_Backslash},
    Info{43, XKB_KEY_comma, 59, Qt::Key_Comma},
    Info{44, XKB_KEY_slash, 61, Qt::Key_Slash},
    Info{45, XKB_KEY_n, 57, Qt::Key_N},
    Info{46, XKB_KEY_m, 58, Qt::Key_M},
    Info{47, XKB_KEY_period, 60, Qt::Key_Period},
    Info{48, XKB_KEY_Tab, 23, Qt::Key_Tab},
    Info{49, XKB_KEY_space, 65, Qt::Key_Space},
    Info{50, XKB_KEY_grave, 49, Qt::Key_QuoteLeft},
    Info{51, XKB_KEY_BackSpace, 22, Qt::Key_Backspace},
    Info{53, XKB_KEY_Escape, 9, Qt::Key_Escape},
    Info{96, XKB_KEY_F5, 71, Qt::Key_F5},
    Info{97, XKB_KEY_F6, 72, Qt::Key_F6},
    Info{98, XKB_KEY_F7, 73, Qt::Key_F7},
    Info{99, XKB_KEY_F3, 69, Qt::Key_F3},
    Info{100, XKB_KEY_F8, 74, Qt::Key_F8},
    Info{101, XKB_KEY_F9, 75, Qt::Key_F9},
    Info{103, XKB_KEY_F11, 95, Qt::Key_F11},
    Info{109, XKB_KEY_F10, 76, Qt::Key_F10},
    Info{111, XKB_KEY_F12, 96, Qt::Key_F12},
    Info{114, XKB_KEY_Insert, 118, Qt::Key_Insert},
    Info{115, XKB_KEY_Home, 110, Qt::Key_Home},
    Info{116, XKB_KEY_Prior, 112, Qt::Key_PageUp},
    Info{117, XKB_KEY_Delete, 119, Qt::Key_Delete},
    Info{118, XKB_KEY_F4, 70, Qt::Key_F4},
    Info{119, XKB_KEY_End, 115, Qt::Key_End},
    Info{120, XKB_KEY_F2, 68, Qt::Key_F2},
    Info{121, XKB_KEY_Next, 117, Qt::Key_PageDown},
    Info{122, XKB_KEY_F1, 67, Qt::Key_F1},
    Info{123, XKB_KEY_Left, 113, Qt::Key_Left},
    Info{124, XKB_KEY_Right, 114, Qt::Key_Right},
    Info{125, XKB_KEY_Down, 116, Qt::Key_Down},
    Info{126, XKB_KEY_Up, 111, Qt::Key_Up},
};

} // namespace

std::optional<Info> VirtualKeys::info(int code) {
    for (const Info& entry : table) {
        if (entry.code == code)
            return entry;
    }
    return std::nullopt;
}

std::optional<int> VirtualKeys::fromQtKey(int qtKey) {
    if (qtKey == Qt::Key_Enter)
        return returnKey;
    for (const Info& entry : table) {
        if (entry.qtKey == qtKey)
            return entry.code;
    }
    return std::nullopt;
}

namespace ModifierFlags {

namespace {
constexpr std::pair<quint64, Qt::KeyboardModifier> qtPairs[] = {
    {command, Qt::ControlModifier},
    {option, Qt::AltModifier},
    {shift, Qt::ShiftModifier},
    {control, Qt::MetaModifier},
};
} // namespace

quint64 fromQt(Qt::KeyboardModifiers modifiers) {
    quint64 flags = 0;
    for (const auto& [flag, qt] : qtPairs) {
        if (modifiers & qt)
            flags |= flag;
    }
    return flags;
}

Qt::KeyboardModifiers toQt(quint64 flags) {
    Qt::KeyboardModifiers modifiers;
    for (const auto& [flag, qt] : qtPairs) {
        if (flags & flag)
            modifiers |= qt;
    }
    return modifiers;
}

} // namespace ModifierFlags
