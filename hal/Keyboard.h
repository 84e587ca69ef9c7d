#pragma once

#include "base/String.h"

#include <optional>

// Numeric key identifiers of the keyboard layer.
enum class ConsoleKey : i32 {
    Backspace = 8,
    Tab = 9,
    Enter = 13,
    Pause = 19,
    Escape = 27,
    Spacebar = 32,
    PageUp = 33,
    PageDown = 34,
    End = 35,
    Home = 36,
    LeftArrow = 37,
    UpArrow = 38,
    RightArrow = 39,
    DownArrow = 40,
    PrintScreen = 44,
    Insert = 45,
    Delete = 46,
    D0 = 48, // D1-D9 follow: a digit's key is D0 plus the digit
    A = 65,  // B-Y between: a letter's key is its capital's code
    Z = 90,
    LeftWindows = 91,
    RightWindows = 92,
    NumPad5 = 101,
    Subtract = 109,
    Divide = 111,
    F1 = 112,
    F2 = 113,
    F3 = 114,
    F4 = 115,
    F5 = 116,
    F6 = 117,
    F7 = 118,
    F8 = 119,
    F9 = 120,
    F10 = 121,
    F11 = 122,
    F12 = 123,
    OemPlus = 187,
    OemComma = 188,
    OemMinus = 189,
    OemPeriod = 190,
    NoName = 252,
};

// Characters the key map produces for keys that have no printable character
// of their own; the line editor recognises them.
namespace KeyChar {
constexpr char16_t Backspace = u'\u0968';
constexpr char16_t LeftArrow = u'\u2190';
constexpr char16_t UpArrow = u'\u2191';
constexpr char16_t RightArrow = u'\u2192';
constexpr char16_t DownArrow = u'\u2193';
}

struct KeyMapping {
    u32 scancode;
    char16_t value; // 0: the key has no character
    ConsoleKey key;
};

struct ConsoleKeyInfo {
    char16_t key_char;
    ConsoleKey key;
    bool shift;
    bool alt;
    bool control;
};

// The PS/2 keyboard on interrupt line 1. Constructing one makes it the
// receiver of the keyboard interrupt and drops any byte left waiting in the
// controller, which would otherwise block it; destroying it hands the keys
// back to the keyboard that received them before, so a command that takes
// the keyboard gives it back when it ends.
class Keyboard {
public:
    static constexpr u32 QueueCapacity = 64;

    Keyboard();
    ~Keyboard();
    Keyboard(Keyboard const&) = delete;
    Keyboard& operator=(Keyboard const&) = delete;

    // The keyboard that currently receives scan codes, if any.
    static Keyboard* receiver();

    char16_t read_char();
    KeyMapping read_mapping();
    // The next queued key that has a mapping, without waiting: nothing when
    // the queue holds none.
    std::optional<KeyMapping> poll_mapping();
    // The next key event, without waiting: the key's identity and whether
    // it went down or up, as a program sees it (TESSARY_KEY_* of
    // sdk/tessary_calls.h). Events queue beside the characters: a press
    // gives both, and reading one leaves the other.
    std::optional<u32> poll_event();
    // Forgets the events still queued.
    void drop_events();
    // Forgets the characters and events still queued.
    void drop_queued_keys();
    bool get_char(char16_t& c);
    bool get_key(ConsoleKey& key);
    bool get_char_value(u32 scancode, char16_t& c) const;
    bool get_key_value(u32 scancode, ConsoleKey& key) const;
    bool get_key_mapping(u32 scancode, KeyMapping& mapping) const;

    bool shift_pressed() const { return m_shift; }
    bool alt_pressed() const { return m_alt; }
    bool ctrl_pressed() const { return m_control; }

    void add_key(u32 scancode, char16_t c, ConsoleKey key);
    void add_key_with_shift(u32 scancode, char16_t c, ConsoleKey key);
    void add_key_with_shift(u32 scancode, ConsoleKey key) { add_key_with_shift(scancode, 0, key); }
    // Modifiers, Ctrl-Alt-Delete, the queue.
    void handle_scancode(u8 scancode, bool released);
    // What Ctrl-Alt-Delete does, whichever keyboard receives the keys: the
    // kernel announces the restart and restarts. It runs inside the keyboard
    // interrupt; the Delete key is queued after it, should it return.
    static void set_ctrl_alt_delete_handler(void (*handler)());
    u32 queued_count() const;

private:
    static void on_interrupt(struct IRQContext&);
    void create_default_keymap();
    bool dequeue(u32& code);
    u32 wait_for_code();

    bool m_shift { false };
    bool m_control { false };
    bool m_alt { false };
    Vector<KeyMapping> m_keys;
    u32 m_queue[QueueCapacity] {};
    u32 volatile m_head { 0 };
    u32 volatile m_count { 0 };
    // Every press and release: the scan code, TESSARY_KEY_RELEASED for a
    // release.
    u16 m_events[QueueCapacity] {};
    u32 volatile m_event_head { 0 };
    u32 volatile m_event_count { 0 };
    i32 m_mapping_count { 0 };
    Keyboard* m_previous_receiver { nullptr };
};
