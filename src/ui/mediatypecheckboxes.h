#pragma once
// The settings page's media-type check boxes: one row per box with its id,
// text, place in dialog 109 and the media type it governs. The dialog
// resource, FillControls and OnApply all read this one table, in its order.
#include <cstdint>
#include <span>

namespace zqm {

struct MediaTypeCheckBox {
    int controlId;
    const char* text;
    int x, y, cx, cy;  // dialog units
    // The media type's settings key in the plug-in's media-type table.
    const char* mediaTypeKey;
    // A second media type the box governs together with the first (T140's
    // pair); 0 for none.
    int32_t pairedMediaType;
};

std::span<const MediaTypeCheckBox> MediaTypeCheckBoxes();

// The box's media type from the plug-in's table; -1 when the key names none.
int32_t MediaTypeOf(const MediaTypeCheckBox& box);

}  // namespace zqm
