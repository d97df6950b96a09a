#include "HeadlessHost.h"

#include <unistd.h>

#include <cstdio>

void CHeadlessDialogs::ShowMessage(const std::string& caption, const std::string& text, Icon icon) {
    std::string line = text;
    for (char& c : line)
        if (c == '\n') c = ' ';
    if (caption != "Error" && caption != "Orvanta" && !caption.empty()) line = caption + ": " + line;
    (icon == Icon::kInformation ? m_notes : m_errors).push_back(line);
}

// Progress is for people watching: only on a terminal.
bool CHeadlessHost::StepProgress(int done, int total) {
    if (isatty(STDERR_FILENO)) std::fprintf(stderr, "\rFrame %d of %d", done + 1, total);
    return true;
}

void CHeadlessHost::EndProgress() {
    if (isatty(STDERR_FILENO)) std::fprintf(stderr, "\n");
}

void CHeadlessHost::LoadProgress(double fraction) {
    if (!isatty(STDERR_FILENO)) return;
    std::fprintf(stderr, "\rLoading %3d%%", static_cast<int>(fraction * 100));
    if (fraction >= 1.0) std::fprintf(stderr, "\n");
}
