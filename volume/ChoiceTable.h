#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A question answered by choosing one row of a table, such as which series
// of a DICOM folder to load. Rows that cannot be chosen stay in the table
// with the reason, so that the user sees everything the source holds.
struct CChoiceTable {
    // A small grey-level picture of a row (8 bits a pixel, rows top down),
    // at most kPictureSide pixels wide and high.
    static constexpr int kPictureSide = 64;
    struct Picture {
        int32_t width = 0;
        int32_t height = 0;
        std::vector<uint8_t> grey;
    };
    struct Row {
        std::vector<std::string> cells;  // one per column
        std::string refusal;             // why the row cannot be chosen; "" when it can
    };

    std::string caption;
    std::string question;
    std::vector<std::string> columns;
    std::vector<Row> rows;
    int proposed = -1;  // the row offered first; -1 for none
    // Makes the picture of a row, which may take a while (decoding an image):
    // a dialog asks for them one at a time after it is shown. False when the
    // row has none. Not set: no pictures.
    std::function<bool(int row, Picture& picture)> picture;

    bool Choosable(int row) const {
        return row >= 0 && row < static_cast<int>(rows.size()) &&
               rows[static_cast<size_t>(row)].refusal.empty();
    }
};
