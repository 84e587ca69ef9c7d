#pragma once

// Restart through the keyboard controller.
class Power {
public:
    // Pulses the reset line; returns only if the controller ignored it.
    static void Reboot();
};
