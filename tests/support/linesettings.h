#pragma once

// Line settings of a terminal device as the kernel holds them, read through any
// descriptor of it (for a pseudo-terminal the master reports the slave's settings).

struct LineSettings {
    bool ok = false;
    unsigned inputSpeed = 0;  // bits per second
    unsigned outputSpeed = 0; // bits per second
    int dataBits = 0;
    bool parity = false;
    bool twoStopBits = false;
    bool hardwareFlowControl = false;
};

LineSettings readLineSettings(int fd);
