// The window title texts: the program name, then the read time after a load or a band's render
// time and rate as each band finishes.
#pragma once

#include <string>

#include <QString>

namespace lumivex {

inline constexpr char kProgramTitle[] = "Lumivex";

// A number as a default narrow C++ stream writes it: at most six significant digits, fixed or
// exponent notation as %g chooses, trailing zeros dropped ("0.5", "2", "1.23457e+06").
std::string FormatStreamNumber(double value);

// "Lumivex Read Time: 0.00123"
QString ReadTimeTitle(double seconds);

// "Lumivex Render Time: 0.5 (2 fps)": the band's seconds and their reciprocal.
QString RenderTimeTitle(double seconds);

}  // namespace lumivex
