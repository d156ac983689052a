#include "app/title_text.h"

#include <locale>
#include <sstream>

namespace lumivex {

std::string FormatStreamNumber(double value) {
    std::ostringstream stream;
    // The classic locale, whatever the program's global one: no digit grouping, a '.' point.
    stream.imbue(std::locale::classic());
    stream << value;
    return stream.str();
}

QString ReadTimeTitle(double seconds) {
    return QString::fromStdString(std::string(kProgramTitle) +
                                  " Read Time: " + FormatStreamNumber(seconds));
}

QString RenderTimeTitle(double seconds) {
    return QString::fromStdString(std::string(kProgramTitle) +
                                  " Render Time: " + FormatStreamNumber(seconds) + " (" +
                                  FormatStreamNumber(1.0 / seconds) + " fps)");
}

}  // namespace lumivex
