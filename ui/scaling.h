// Window geometry in design pixels.
//
// The windows' code places its controls in the pixels of the font they were drawn for, MS Sans
// Serif 8 point at 96 dots an inch: lines 13 pixels high, an average letter 6 wide (the dialog
// base units of that font). A Linux desktop's font is larger, and the same texts then need more
// room than the design gave them. So every size and every position inside a window is scaled,
// across by the ratio of the running font's average letter width to the design's and down by
// the ratio of the line heights. A running font no larger than the design's keeps the design
// pixels (the ratios are never below 1). The running font is the application's font; the scale
// follows it when it changes, for geometry set afterwards.
//
// Design values go in (SetBounds, SetClientSize, status panel widths) and come back out (Left,
// Width, ...): a value set is the value read, whatever the scale. Where a window sits on the
// screen is not scaled.
#ifndef VELDA_UI_SCALING_H
#define VELDA_UI_SCALING_H

namespace ui {

struct TDesignScale {
    double x = 1.0;  // across
    double y = 1.0;  // down
};

// The scale for the application's font now.
TDesignScale DesignScale();

// Design pixels to pixels and back, rounded to the nearest pixel. Scale the two edges of a span
// rather than its length, so that controls that touch in the design still touch.
int ScaleX(int design);
int ScaleY(int design);
int DesignX(int pixels);
int DesignY(int pixels);

}  // namespace ui

#endif
