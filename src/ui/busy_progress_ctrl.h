// CBusyProgressCtrl: an animated busy bar (a green comet running along a row
// of blocks), also able to show progress. An animation thread steps it; all
// drawing happens on the window's own thread when it repaints.
#pragma once

#include <atomic>

#include "ui/busy_bar_math.h"
#include "ui/control.h"
#include "ui/gdi_object.h"

namespace qm::ui {

class CBusyProgressCtrl : public Control {
  public:
    // The control's messages (WM_USER + n); each returns 0.
    enum Message : UINT {
        kSetBlockCount = WM_USER + 1,  // w: block count
        kSetPosition,                  // w: position
        kSetGap,                       // w: gap in pixels
        kSetInterval,                  // w: milliseconds per step
        kSetRange,                     // w: low, l: high
        kSetMode,                      // w: 1 busy, 2 progress
        kStart,
        kStop,
        kStep,
        kSetType,              // w: 1, 2 or 4
        kSetStyle,             // w: 1 comet, 2 filled bar
        kSetSpanFactor,        // w: factor
        kSetBackgroundColour,  // w: colour
        kSetBlockFillColour,
        kSetBlockBorderColour,
        kSetPartialFillColour,
        kSetSecondBorderColour,
        kRecalculate,
        kReset,
        kUseSystemBackground,  // w: 0 or 1
    };

    explicit CBusyProgressCtrl(int blockCount = 10, int position = 0);
    ~CBusyProgressCtrl() override;

    void SetType(int type);
    void SetBarStyle(int style);
    void SetBlockCount(int count);
    void SetInterval(int milliseconds);
    void SetBackgroundColour(COLORREF c);
    void SetBlockFillColour(COLORREF c);
    void SetPartialFillColour(COLORREF c);
    void Recalculate();
    void Start();
    void Stop();
    void StepOnce();
    bool IsRunning() const { return thread_ != nullptr; }
    // A copy of the state, taken under the lock.
    BusyBarState State() const;

  protected:
    void OnBound() override;
    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override;

  private:
    class Lock;
    static DWORD WINAPI ThreadMain(void* self);
    void ReleaseOffscreen();
    void Run();
    void Paint();
    void DrawBlocks(HDC dc, const BusyBarState& state);
    LRESULT HandleControlMessage(UINT message, WPARAM w, LPARAM l);

    // Guards state_: the animation thread steps it while the window's
    // thread paints it and handles the control messages.
    mutable CRITICAL_SECTION lock_;
    BusyBarState state_;
    std::atomic<int> interval_{100};
    bool useSystemBackground_ = true;
    COLORREF background_;
    COLORREF blockFill_ = RGB(160, 190, 220);
    COLORREF blockBorder_ = RGB(50, 90, 135);
    COLORREF partialFill_ = RGB(190, 220, 255);
    COLORREF secondBorder_ = RGB(50, 90, 135);

    HANDLE thread_ = nullptr;
    std::atomic<bool> running_{false};
    // Set by Stop so that the thread's sleep ends at once.
    HANDLE wake_ = nullptr;
    // The window the thread invalidates, fixed when it starts.
    HWND threadWindow_ = nullptr;

    HDC offscreen_ = nullptr;
    Bitmap offscreenBitmap_;
    HGDIOBJ offscreenPrevious_ = nullptr;
};

}  // namespace qm::ui
