#pragma once

#include <string>

struct CSceneState;

// The planes' colour map as a bar in the lower right corner of the view,
// grey level 0 at the bottom and 255 at the top, framed and labelled at its
// ends with the file values they stand for. It is drawn into the frame in
// window pixels, so read-backs (snapshots, movies) show it as the screen does.
class CColourBar {
public:
    static constexpr int kWidth = 20;
    // Pixels between the bar and the view's right edge, and its bottom edge.
    static constexpr int kRightMargin = 12;
    static constexpr int kBottomMargin = 16;
    // Pixels between the frame and the end values.
    static constexpr int kLabelGap = 6;

    // The pixels the bar's colours cover, from the bottom left of the view;
    // width 0 when the view is too small to hold the bar.
    struct CPlace {
        int left, bottom, width, height;
    };
    static CPlace PlaceIn(int viewWidth, int viewHeight);

    // `value` as written at an end: as many significant digits as fit, at
    // most six, in seven characters besides a minus sign; empty when it is
    // not a number.
    static std::string FormatValue(double value);

    // Draws the bar of `state`'s map over what the frame holds, in the
    // current viewport, leaving the matrices as they were.
    static void Draw(const CSceneState& state);
};
