#include "ui/busy_bar_math.h"

namespace qm::ui {

void RecalculateGeometry(BusyBarState& state, int clientWidth, int clientHeight) {
    if (state.blockCount > 0) {
        state.blockWidth =
            static_cast<double>(clientWidth - state.blockCount * state.gap) / state.blockCount;
    } else {
        state.blockWidth = 0;
    }
    state.blockHeight = clientHeight;
}

int CycleLength(const BusyBarState& state) {
    return state.style == kFilledBar ? state.spanFactor * state.blockCount : state.blockCount;
}

std::vector<BlockRect> BlockRectangles(const BusyBarState& state) {
    std::vector<BlockRect> blocks;
    if (state.blockCount <= 0) return blocks;
    blocks.reserve(static_cast<size_t>(state.blockCount));
    const int top = 2;
    const int bottom = static_cast<int>(state.blockHeight) - 2;
    blocks.push_back({1, top, static_cast<int>(state.blockWidth) - 1, bottom});
    // The running position is a real number, added up block by block as the
    // drawing does, so that rounding matches what is on the screen.
    double x = 0;
    for (int i = 1; i < state.blockCount; ++i) {
        x += state.gap + state.blockWidth + 1;
        blocks.push_back(
            {static_cast<int>(x), top, static_cast<int>(x + state.blockWidth), bottom});
    }
    return blocks;
}

std::optional<Colour> CometColour(const BusyBarState& state, int index) {
    const int behind = state.position - index;
    if (behind < 0 || behind > 6) return std::nullopt;
    return state.direction < 0 ? kCometColours[6 - behind] : kCometColours[behind];
}

void SetType(BusyBarState& state, int type) {
    state.type = type;
    if (state.mode != kBusyAnimation) return;
    if (type == kWrapForwards) state.direction = 1;
    if (type == kWrapBackwards) state.direction = -1;
}

void SetStyle(BusyBarState& state, int style) {
    if (state.mode != kBusyAnimation) return;
    state.style = style;
    Reset(state);
}

void SetSpanFactor(BusyBarState& state, int factor) {
    state.spanFactor = factor;
    // The cycle length follows from the span factor wherever it is needed,
    // so resetting is all that is left to do.
    if (state.mode == kBusyAnimation) Reset(state);
}

void SetMode(BusyBarState& state, int mode) {
    state.mode = mode;
    if (mode == kProgressDisplay) state.direction = 1;
}

void Reset(BusyBarState& state) {
    if (state.mode != kBusyAnimation) {
        state.position = 0;
        state.direction = 1;
        return;
    }
    if (state.type == kWrapBackwards) {
        state.position =
            state.style == kFilledBar ? state.spanFactor * state.blockCount : state.blockCount;
        state.direction = -1;
    } else {
        state.position = -1;
        state.direction = 1;
    }
}

void Step(BusyBarState& state) {
    if (state.mode == kBusyAnimation) {
        const int length = CycleLength(state);
        switch (state.type) {
            case kRunThrough:
                // The comet runs on until its tail has left the row.
                if (state.position >= length + 5) state.position = 0;
                if (state.position < -1) state.direction = 1;
                break;
            case kWrapForwards:
                if (state.position + 1 == length) state.position = -1;
                break;
            case kWrapBackwards:
                if (state.position == 0) state.position = length;
                break;
            default:
                break;
        }
    }
    state.position += state.direction;
}

FillExtent FilledExtent(const BusyBarState& state) {
    const int span = state.mode == kProgressDisplay ? state.high - state.low : CycleLength(state);
    if (span == 0) return {0, 0};
    const double extent = static_cast<double>(state.position) / span * state.blockCount;
    const int lastFull = static_cast<int>(extent) - 1;
    const int partial = static_cast<int>((extent - 1 - lastFull) * state.blockWidth);
    return {lastFull + 1 > 0 ? lastFull + 1 : 0, partial > 0 ? partial : 0};
}

}  // namespace qm::ui
