#pragma once
// The simulator's power-on settings as a settings file holds them, the header line aside: what
// qsync reads from a device just switched on, and the file the settings-file tests start from.
constexpr char kPowerOnSettingsBody[] =
    "[synchronizer]\r\n"
    "model = 5\r\n"
    "channel = 1\r\n"
    "baud = 9600\r\n"
    "start_frame = 1\r\n"
    "end_frame = 500\r\n"
    "synchronize = yes\r\n"
    "init1 = \"0KL0DS\"\r\n"
    "init2 = \"\"\r\n"
    "init3 = \"\"\r\n"
    "init4 = \"\"\r\n"
    "comment = \"QSIM\"\r\n";
