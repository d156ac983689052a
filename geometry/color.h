// RGBA colour in single precision, laid out like a Vec4. Colours read from scene files have a = 1.
#pragma once

namespace lumivex {

struct Color {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 1.0f;

    friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace lumivex
