// The Window/Level dialog: what a preset fills in, that an edit ends the
// load default, the colour map chosen, and the values the viewer takes.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDoubleSpinBox>

#include "CommandTable.h"
#include "ViewerFixture.h"
#include "WindowLevel.h"
#include "WindowLevelDialog.h"

namespace {

// A host whose dialog answer is prepared: the values shown are recorded and
// `answer` edits them before they are accepted.
class CWindowHost : public CTestHost {
public:
    std::function<void(CWindowLevelDialog&)> answer;
    CWindowLevelValues shown;
    bool EditWindowLevel(CWindowLevelValues& values) override {
        shown = values;
        CWindowLevelDialog dialog(values);
        answer(dialog);
        values = dialog.Values();
        return true;
    }
};

}  // namespace

TEST(WindowLevelDialogTest, PresetsEditsAndMapsReachTheViewer) {
    TempFolder folder;
    CWindowHost host;
    CRecordingView view;
    CViewer viewer(view, host);
    TviContents tvi = TviVolume(6, 5, 4, 2);
    for (size_t i = 0; i < tvi.samples.size(); ++i) tvi.samples[i] = static_cast<uint16_t>(i % 200);
    ASSERT_TRUE(WriteTviFile(folder.File("w.tvi"), tvi));
    viewer.LoadVolumeFile(folder.File("w.tvi"));

    struct Case {
        const char* what;
        std::function<void(CWindowLevelDialog&)> answer;
        bool loadDefault;
        CDisplayWindow window;
        EColourMap map;
    };
    const Case cases[] = {
        {"the full range preset",
         [](CWindowLevelDialog& d) {
             d.Presets().setCurrentIndex(2);
             d.Presets().activated(2);
         },
         false, {99.5, 199.0}, EColourMap::kGrey},
        {"numbers typed, and a map",
         [](CWindowLevelDialog& d) {
             d.Center().setValue(40);
             d.Width().setValue(400);
             d.ColourMaps().setCurrentIndex(static_cast<int>(EColourMap::kHot));
             d.ColourMaps().activated(static_cast<int>(EColourMap::kHot));
         },
         false, {40, 400}, EColourMap::kHot},
        {"the load default again",
         [](CWindowLevelDialog& d) { d.Presets().activated(1); }, true, {}, EColourMap::kHot},
    };
    for (const Case& c : cases) {
        host.answer = c.answer;
        viewer.Execute(kCmdWindowLevel);
        EXPECT_EQ(viewer.Volume().WindowIsLoadDefault(), c.loadDefault) << c.what;
        if (!c.loadDefault) {
            EXPECT_EQ(viewer.Volume().Window().center, c.window.center) << c.what;
            EXPECT_EQ(viewer.Volume().Window().width, c.window.width) << c.what;
        }
        EXPECT_EQ(view.m_colourMap, c.map) << c.what;
    }
    // The presets offered: the load default first, then the full range, the
    // percentiles and the CT windows.
    ASSERT_EQ(host.shown.presets.size(), 8u);
    EXPECT_EQ(host.shown.presets[0].preset, EWindowPreset::kLoadDefault);
    EXPECT_EQ(host.shown.presets[7].window.center, 400.0);
}
