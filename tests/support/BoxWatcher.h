// Answers the message boxes of this process from a second thread and records what they said, so
// that tests can run code that shows a box (a box nobody answers blocks for ever).
#pragma once
#include <windows.h>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace vorntest {

struct SeenBox {
    std::string caption;
    std::string text;
    bool operator==(const SeenBox& o) const { return caption == o.caption && text == o.text; }
};
inline void PrintTo(const SeenBox& b, std::ostream* os) { *os << "[" << b.caption << "] " << b.text; }

class BoxWatcher {
public:
    // answer: the button to press (IDOK, IDYES, IDNO...); a box without it is cancelled.
    explicit BoxWatcher(int answer = IDOK);
    ~BoxWatcher();
    std::vector<SeenBox> Boxes();

private:
    void Answer(HWND box);

    int answer_;
    HANDLE thread_ = nullptr;
    volatile LONG stop_ = 0;
    std::mutex lock_;
    std::vector<SeenBox> boxes_;
    std::vector<HWND> answered_;
};

}  // namespace vorntest
