#pragma once

#include <Qt>
#include <QtGlobal>

#include <optional>

/**
 * The key codes and modifier flags the models speak: a fixed numbering (C is 8,
 * Return is 36) that stored hotkeys and wire data use on every platform; the X11
 * layer translates them to key symbols at the edge.
 */
namespace VirtualKeys {
constexpr int a = 0;
constexpr int s = 1;
constexpr int c = 8;
constexpr int v = 9;
constexpr int x = 7;
constexpr int returnKey = 36;
constexpr int tab = 48;
constexpr int space = 49;
constexpr int escape = 53;
constexpr int insert = 114;
constexpr int home = 115;
constexpr int end = 119;
constexpr int leftArrow = 123;
constexpr int rightArrow = 124;
constexpr int downArrow = 125;
constexpr int upArrow = 126;

/** What one virtual key means on an X11 keyboard. */
struct Info {
    int code = -1;
    /** The key symbol it produces on a US layout. */
    quint32 keysym = 0;
    /** The X key code of the same physical key on a standard PC keyboard. */
    quint8 positionalKeycode = 0;
    /** The Qt::Key that Qt reports for this key without Shift. */
    int qtKey = 0;
};

[[nodiscard]] std::optional<Info> info(int code);
/** The virtual key of a Qt key event's key(), for keys that have one. */
[[nodiscard]] std::optional<int> fromQtKey(int qtKey);
} // namespace VirtualKeys

/** Window-system modifier flags. On Linux command is Ctrl, option Alt, control Super. */
namespace ModifierFlags {
constexpr quint64 shift = 0x20000;
constexpr quint64 control = 0x40000;
constexpr quint64 option = 0x80000;
constexpr quint64 command = 0x100000;
constexpr quint64 function = 0x800000;
constexpr quint64 all = shift | control | option | command;

/** The flags of Qt's modifiers: Ctrl is command, Alt option, Meta (Super) control. */
[[nodiscard]] quint64 fromQt(Qt::KeyboardModifiers modifiers);
/** Qt's modifiers of the flags; the inverse of fromQt. */
[[nodiscard]] Qt::KeyboardModifiers toQt(quint64 flags);
} // namespace ModifierFlags
