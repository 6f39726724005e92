#include "ui/busy_progress_ctrl.h"

#include "ui/device_context.h"

namespace qm::ui {

class CBusyProgressCtrl::Lock {
  public:
    explicit Lock(CRITICAL_SECTION& section) : section_(section) {
        EnterCriticalSection(&section_);
    }
    ~Lock() { LeaveCriticalSection(&section_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

  private:
    CRITICAL_SECTION& section_;
};

CBusyProgressCtrl::CBusyProgressCtrl(int blockCount, int position)
    : background_(GetSysColor(COLOR_BTNFACE)) {
    InitializeCriticalSection(&lock_);
    state_.blockCount = blockCount;
    state_.position = position;
    wake_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

CBusyProgressCtrl::~CBusyProgressCtrl() {
    Stop();
    // The window may still exist (a dialog's control outlives this object);
    // let go of it before the drawing buffer goes.
    Unbind();
    ReleaseOffscreen();
    if (wake_) CloseHandle(wake_);
    DeleteCriticalSection(&lock_);
}

void CBusyProgressCtrl::OnBound() {
    Recalculate();
}

BusyBarState CBusyProgressCtrl::State() const {
    Lock lock(lock_);
    return state_;
}

void CBusyProgressCtrl::SetType(int type) {
    Lock lock(lock_);
    qm::ui::SetType(state_, type);
}

void CBusyProgressCtrl::SetBarStyle(int style) {
    Lock lock(lock_);
    qm::ui::SetStyle(state_, style);
}

void CBusyProgressCtrl::SetBlockCount(int count) {
    Lock lock(lock_);
    state_.blockCount = count;
}

void CBusyProgressCtrl::SetInterval(int milliseconds) {
    interval_ = milliseconds > 0 ? milliseconds : 1;
}

void CBusyProgressCtrl::SetBackgroundColour(COLORREF c) {
    background_ = c;
}
void CBusyProgressCtrl::SetBlockFillColour(COLORREF c) {
    blockFill_ = c;
}
void CBusyProgressCtrl::SetPartialFillColour(COLORREF c) {
    partialFill_ = c;
}

void CBusyProgressCtrl::Recalculate() {
    if (!hwnd_) return;
    const RECT client = ClientRect();
    Lock lock(lock_);
    RecalculateGeometry(state_, client.right - client.left, client.bottom - client.top);
}

void CBusyProgressCtrl::StepOnce() {
    {
        Lock lock(lock_);
        Step(state_);
    }
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void CBusyProgressCtrl::Start() {
    if (State().mode != kBusyAnimation || !hwnd_) return;
    Stop();
    // The flag is set before the thread exists, so that a Stop right after
    // this Start cannot be missed by the new thread.
    running_ = true;
    ResetEvent(wake_);
    threadWindow_ = hwnd_;
    thread_ = CreateThread(nullptr, 0, &ThreadMain, this, 0, nullptr);
    if (thread_ == nullptr) running_ = false;
}

void CBusyProgressCtrl::Stop() {
    running_ = false;
    if (thread_ == nullptr) return;
    SetEvent(wake_);
    // The thread ends within one step once woken. It must have ended before
    // this object can change or go, so the wait has no time limit; the step
    // never waits for the window's thread, so it cannot hang here.
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
}

DWORD WINAPI CBusyProgressCtrl::ThreadMain(void* self) {
    static_cast<CBusyProgressCtrl*>(self)->Run();
    return 0;
}

void CBusyProgressCtrl::Run() {
    while (running_) {
        {
            Lock lock(lock_);
            Step(state_);
        }
        InvalidateRect(threadWindow_, nullptr, FALSE);
        WaitForSingleObject(wake_, static_cast<DWORD>(interval_.load()));
    }
    running_ = false;
}

void CBusyProgressCtrl::ReleaseOffscreen() {
    if (offscreen_) {
        SelectObject(offscreen_, offscreenPrevious_);
        DeleteDC(offscreen_);
        offscreen_ = nullptr;
    }
    offscreenBitmap_.Reset();
}

void CBusyProgressCtrl::DrawBlocks(HDC dc, const BusyBarState& state) {
    const std::vector<BlockRect> blocks = BlockRectangles(state);
    // The DC's own brush and pen take each block's colours, so that a
    // paint (ten a second while busy) makes and deletes no GDI objects.
    Selection brushSelection(dc, GetStockObject(DC_BRUSH));
    Selection penSelection(dc, GetStockObject(DC_PEN));
    auto block = [&](const BlockRect& b, COLORREF fill, COLORREF border) {
        SetDCBrushColor(dc, fill);
        SetDCPenColor(dc, border);
        Rectangle(dc, b.left, b.top, b.right, b.bottom);
    };
    if (state.mode == kBusyAnimation && state.style == kComet) {
        for (int i = 0; i < static_cast<int>(blocks.size()); ++i) {
            if (auto colour = CometColour(state, i))
                block(blocks[static_cast<size_t>(i)], *colour, *colour);
        }
        return;
    }
    const FillExtent extent = FilledExtent(state);
    for (int i = 0; i < extent.fullBlocks && i < static_cast<int>(blocks.size()); ++i) {
        block(blocks[static_cast<size_t>(i)], blockFill_, blockBorder_);
    }
    if (extent.partialWidth > 0 && extent.fullBlocks < static_cast<int>(blocks.size())) {
        const BlockRect& b = blocks[static_cast<size_t>(extent.fullBlocks)];
        RECT fill{b.left + 1, b.top + 1, b.left + 1 + extent.partialWidth, b.bottom - 1};
        if (fill.right > b.right - 1) fill.right = b.right - 1;
        Brush brush(CreateSolidBrush(partialFill_));
        FillRect(dc, &fill, brush.Get());
        Pen pen(CreatePen(PS_SOLID, 1, secondBorder_));
        Selection penSelection(dc, pen.Get());
        Selection brushSelection(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, b.left, b.top, b.right, b.bottom);
    }
}

void CBusyProgressCtrl::Paint() {
    PaintDc paint(hwnd_);
    const RECT client = ClientRect();
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0) return;
    if (!offscreen_) {
        offscreen_ = CreateCompatibleDC(paint.Get());
        offscreenBitmap_.Reset(CreateCompatibleBitmap(paint.Get(), width, height));
        if (!offscreen_ || !offscreenBitmap_) {
            ReleaseOffscreen();
            return;
        }
        offscreenPrevious_ = SelectObject(offscreen_, offscreenBitmap_.Get());
    }
    FillRect(offscreen_, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawBlocks(offscreen_, State());
    BitBlt(paint.Get(), 0, 0, width, height, offscreen_, 0, 0, SRCCOPY);
    // The thin black frame, inset by one pixel at the left and top.
    Selection pen(paint.Get(), GetStockObject(BLACK_PEN));
    Selection brush(paint.Get(), GetStockObject(NULL_BRUSH));
    Rectangle(paint.Get(), 1, 1, width, height);
}

LRESULT CBusyProgressCtrl::HandleControlMessage(UINT message, WPARAM w, LPARAM l) {
    const int value = static_cast<int>(w);
    const COLORREF colour = static_cast<COLORREF>(w);
    switch (message) {
        case kSetBlockCount:
            SetBlockCount(value);
            Recalculate();
            break;
        case kSetPosition: {
            Lock lock(lock_);
            state_.position = value;
            break;
        }
        case kSetGap: {
            Lock lock(lock_);
            state_.gap = value;
        }
            Recalculate();
            break;
        case kSetInterval:
            SetInterval(value);
            return 0;
        case kSetRange: {
            Lock lock(lock_);
            state_.low = value;
            state_.high = static_cast<int>(l);
            return 0;
        }
        case kSetMode: {
            Stop();
            Lock lock(lock_);
            SetMode(state_, value);
            return 0;
        }
        case kStart:
            Start();
            return 0;
        case kStop:
            Stop();
            return 0;
        case kStep:
            StepOnce();
            break;
        case kSetType:
            SetType(value);
            return 0;
        case kSetStyle:
            SetBarStyle(value);
            return 0;
        case kSetSpanFactor: {
            Lock lock(lock_);
            SetSpanFactor(state_, value);
            return 0;
        }
        case kSetBackgroundColour:
            background_ = colour;
            break;
        case kSetBlockFillColour:
            blockFill_ = colour;
            break;
        case kSetBlockBorderColour:
            blockBorder_ = colour;
            break;
        case kSetPartialFillColour:
            partialFill_ = colour;
            break;
        case kSetSecondBorderColour:
            secondBorder_ = colour;
            break;
        case kRecalculate:
            Recalculate();
            return 0;
        case kReset: {
            Lock lock(lock_);
            Reset(state_);
            return 0;
        }
        case kUseSystemBackground:
            useSystemBackground_ = w != 0;
            if (useSystemBackground_) background_ = GetSysColor(COLOR_BTNFACE);
            break;
        default:
            return 0;
    }
    Invalidate(false);
    return 0;
}

LRESULT CBusyProgressCtrl::WindowProc(UINT message, WPARAM w, LPARAM l) {
    if (message >= kSetBlockCount && message <= kUseSystemBackground) {
        return HandleControlMessage(message, w, l);
    }
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the paint covers the whole client area
        case WM_SIZE: {
            const LRESULT result = Default(message, w, l);
            ReleaseOffscreen();
            return result;
        }
        case WM_SYSCOLORCHANGE: {
            const LRESULT result = Default(message, w, l);
            if (useSystemBackground_) {
                background_ = GetSysColor(COLOR_BTNFACE);
                Invalidate(false);
            }
            return result;
        }
        case WM_DESTROY:
            Stop();
            ReleaseOffscreen();
            break;
        default:
            break;
    }
    return Default(message, w, l);
}

}  // namespace qm::ui
