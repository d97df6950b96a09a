#pragma once

// What the left button does on the 3-D view. The main frame serves the
// active tool: a tool that takes the left button hears its press, its drags
// and its release, in the view's pixels (y downwards); one that does not
// leaves the button to the view, which turns the camera.
class CTool {
public:
    // Where the pointer is, in the view of `width` x `height` pixels.
    struct CPointer {
        int x = 0, y = 0;
        int width = 0, height = 0;
    };

    virtual ~CTool() = default;

    // The name the menu, the tool bar and the status bar give it.
    virtual const char* Name() const = 0;
    virtual bool TakesLeftButton() const { return true; }

    virtual void Press(const CPointer& at) { (void)at; }
    virtual void Drag(const CPointer& at) { (void)at; }
    virtual void Release() {}
    // The second click of a double click (its first came as Press and Release).
    virtual void DoubleClick(const CPointer& at) { (void)at; }
    // The mouse moves with no button held; a width of 0 when it left the view.
    virtual void Hover(const CPointer& at) { (void)at; }
    // Enter and Esc on the view: finish what the tool has begun, or drop it.
    virtual void Finish() {}
    virtual void Cancel() {}
    // The tool is put down for another: whatever it draws goes.
    virtual void PutDown() { Release(); }
};
