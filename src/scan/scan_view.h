// What the scan driver needs from the Find & Fix page. The Win32 page
// implements it (each call a synchronous message to the user-interface
// thread, since the worker thread makes most of them); tests and the
// headless scanner implement it too.
#pragma once

#include <string>

namespace qm {

class ScanView {
  public:
    virtual ~ScanView() = default;

    // Command button (1021): the caption of the driver's state, for display.
    virtual void SetCommandText(const std::string& text) = 0;
    // Disabled while a stopped worker is still ending.
    virtual void EnableCommand(bool enabled) = 0;

    // The category check list: row = category - 1.
    virtual bool IsRowTicked(int row) = 0;
    virtual void SetItemsFoundCell(int row, const std::string& text) = 0;
    // `link` draws the cell as a link ("View Details").
    virtual void SetDetailsCell(int row, const std::string& text, bool link) = 0;

    virtual void SetStatusText(const std::string& text) = 0;  // label 1218
    virtual void ShowStatus(bool visible) = 0;
    virtual void ShowProgressText(const std::string& text) = 0;  // description box 1219
    virtual void SetInstruction(const std::string& text) = 0;    // label 1220
    virtual void ShowBusyBar(bool visible) = 0;                  // 1144
    virtual void StartBusyAnimation(int stepMilliseconds) = 0;
    virtual void StopBusyAnimation() = 0;
    virtual void ShowClearButton(bool visible) = 0;  // 1019
    virtual void ShowResultLine(bool visible) = 0;   // 1237
    virtual void SetResultText(const std::string& text) = 0;
    virtual void ShowMessage(const std::string& text) = 0;  // message box, OK only
    virtual void Repaint() = 0;

    // The main window.
    virtual void EnablePageButtons(bool enabled) = 0;
    virtual void RestoreMainWindow() = 0;
    virtual void NotifyScanFinished() = 0;    // ScanFinishedMessage
    virtual void NotifyRepairFinished() = 0;  // RepairFinishedMessage
};

// A view that shows nothing and ticks every row: the base of views that
// care about a few calls only (the headless scanner, benchmarks, tests).
class QuietScanView : public ScanView {
  public:
    void SetCommandText(const std::string&) override {}
    void EnableCommand(bool) override {}
    bool IsRowTicked(int) override { return true; }
    void SetItemsFoundCell(int, const std::string&) override {}
    void SetDetailsCell(int, const std::string&, bool) override {}
    void SetStatusText(const std::string&) override {}
    void ShowStatus(bool) override {}
    void ShowProgressText(const std::string&) override {}
    void SetInstruction(const std::string&) override {}
    void ShowBusyBar(bool) override {}
    void StartBusyAnimation(int) override {}
    void StopBusyAnimation() override {}
    void ShowClearButton(bool) override {}
    void ShowResultLine(bool) override {}
    void SetResultText(const std::string&) override {}
    void ShowMessage(const std::string&) override {}
    void Repaint() override {}
    void EnablePageButtons(bool) override {}
    void RestoreMainWindow() override {}
    void NotifyScanFinished() override {}
    void NotifyRepairFinished() override {}
};

}  // namespace qm
