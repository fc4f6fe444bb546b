// The line list of a log box: the repair operations only ever append to it.
#pragma once
#include <string>

class TLogLines {
public:
    virtual ~TLogLines() = default;
    virtual void Add(const std::wstring& line) = 0;
};
