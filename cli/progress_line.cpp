#include "cli/progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace zentrel::cli {

namespace {

constexpr auto Update_Interval = std::chrono::milliseconds(100);

std::string duration_text(double seconds) {
    const long long total = std::llround(seconds);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    return text;
}

}  // namespace

Progress_Line::Progress_Line(std::FILE* out, bool terminal, char decimal_separator)
    : out_(out), terminal_(terminal), decimal_(decimal_separator) {}

std::string Progress_Line::Bytes_Text(double bytes) const {
    static const char* const units[] = {"B", "kB", "MB", "GB", "TB"};
    int unit = 0;
    while (bytes >= 1000 && unit < 4) {
        bytes /= 1000;
        ++unit;
    }
    char text[48];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    std::string result = text;
    std::replace(result.begin(), result.end(), '.', decimal_);
    return result;
}

std::string Progress_Line::Copy_Text(const engine::Run_State& state, const Terminal_Display& display,
                                     std::chrono::steady_clock::time_point now) {
    // Within a large file the bar runs ahead of the byte counter.
    const double copied = std::max(state.Processed_Bytes, display.Progress_Fraction() * state.Source_Bytes);
    std::string text = "kopiert " + std::to_string(state.Processed_Files) + " von " +
                       std::to_string(state.Source_Files) + " Dateien, " + Bytes_Text(copied) + " von " +
                       Bytes_Text(state.Source_Bytes);
    const double seconds = std::chrono::duration<double>(now - copy_start_).count();
    if (seconds >= 1 && copied > 0) {
        const double rate = copied / seconds;
        text += ", " + Bytes_Text(rate) + "/s";
        text += ", noch " + duration_text(std::max(0.0, state.Source_Bytes - copied) / rate);
    }
    return text;
}

void Progress_Line::Update(const engine::Run_State& state, const Terminal_Display& display) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    // A file skipped belongs to the walk as much as one copied.
    const bool copying = display.Phase() != engine::Phase::Evaluating;
    if (copying && !copying_) copy_start_ = now;
    const bool phase_changed = copying != copying_;
    copying_ = copying;
    if (!phase_changed && shown_ && now - last_ < Update_Interval) return;
    last_ = now;

    std::string text = copying ? Copy_Text(state, display, now)
                               : "Auswertung: " + std::to_string(state.Source_Files) + " Dateien, " +
                                     Bytes_Text(state.Source_Bytes) + " zu kopieren";
    winsize size{};
    if (ioctl(fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 1 && text.size() >= size.ws_col)
        text.resize(size.ws_col - 1);  // a wrapped line could not be written over
    std::fprintf(out_, "\r%s\033[K", text.c_str());
    std::fflush(out_);
    shown_ = true;
}

void Progress_Line::Clear() {
    if (!shown_) return;
    std::fprintf(out_, "\r\033[K");
    std::fflush(out_);
    shown_ = false;
}

}  // namespace zentrel::cli
