#pragma once
// Puts a stand-in into an entry of this program's import table (mingw-w64 and MSVC both name the
// entry of a call F `__imp_F`), and the real call back when it ends.
#include <windows.h>

template <typename Fn>
class ImportSwap {
public:
    ImportSwap(Fn& entry, Fn standIn) : entry_(entry), real_(entry) { Write(standIn); }
    ~ImportSwap() { Write(real_); }
    Fn real() const { return real_; }

private:
    void Write(Fn value)
    {
        DWORD old = 0;
        VirtualProtect(&entry_, sizeof entry_, PAGE_READWRITE, &old);
        entry_ = value;
        VirtualProtect(&entry_, sizeof entry_, old, &old);
    }
    Fn& entry_;
    Fn real_;
};
