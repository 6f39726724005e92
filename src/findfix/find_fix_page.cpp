#include "findfix/find_fix_page.h"

#include "findfix/found_items_dialog.h"
#include "platform/settings_store.h"
#include "resource.h"
#include "scan/details_selection.h"
#include "scan/ignore_list.h"
#include "scan/progress_throttle.h"
#include "scan/window_messages.h"
#include "ui/colour.h"

namespace qm {
namespace {

constexpr const char* kCaption = "Quillmend";

constexpr const char* kTitle = "Start Registry Repair";
constexpr const char* kFirstInstruction =
    "Select options you want to repair and click \"Find\".\nClick on the item to see its "
    "description below.";
// After Clear and after a repair ("&&" shows as one ampersand).
constexpr const char* kResetInstruction =
    "Select the options you want to Find&&Fix and click \"Find\".\nClick on the item to see its "
    "description bellow.";

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);

struct Column {
    const char* title;
    int width;
};
constexpr Column kColumns[] = {{"Option", 200}, {"Items Found", 170}, {"Details", 115}};

}  // namespace

CRegFindNFix::CRegFindNFix(HINSTANCE instance, RegistryService& registry, FileProbe& files,
                           BackupStore& backups)
    : CRegFindNFix(instance, registry, files, backups, DefaultScanners()) {}

CRegFindNFix::CRegFindNFix(HINSTANCE instance, RegistryService& registry, FileProbe& files,
                           BackupStore& backups, ScannerTable scanners)
    : Page(instance, IDD_FIND_FIX),
      uiThread_(GetCurrentThreadId()),
      registry_(registry),
      remover_(registry, files),
      driver_(registry, files, *this, scanners),
      engine_(driver_, registry, backups, remover_, *this,
              [this](bool automatic) { return BeforeRepair(automatic); }) {
    BindMessage(kRunOnPageMessage, [](WPARAM, LPARAM l) {
        if (const auto* call = reinterpret_cast<const std::function<void()>*>(l)) (*call)();
        return LRESULT{0};
    });
    // With a text, shows it; without, shows the worker's latest (see
    // ShowProgressText).
    BindMessage(kScanProgressMessage, [this](WPARAM, LPARAM l) {
        std::string text;
        if (l != 0) {
            text = reinterpret_cast<const char*>(l);
        } else {
            std::lock_guard<std::mutex> lock(progressMutex_);
            if (!progressPosted_) return LRESULT{0};
            text.swap(progressText_);
            progressPosted_ = false;
        }
        description_.SetLabelText(ShortenProgressText(text));
        return LRESULT{0};
    });
    BindCommand(
        IDC_FF_COMMAND, [this](int) { OnCommandButton(); }, BN_CLICKED);
    BindCommand(
        IDC_FF_CLEAR, [this](int) { OnClear(); }, BN_CLICKED);
    BindNotify(IDC_FF_CATEGORIES, NM_CLICK, [this](NMHDR* header) { return OnListClick(header); });
}

CRegFindNFix::~CRegFindNFix() {
    StopWorker();
    window_ = nullptr;
}

bool CRegFindNFix::OnInit() {
    ApplyLayout();
    uiThread_ = GetCurrentThreadId();
    window_ = hwnd_;
    mainWindow_ = GetParent(hwnd_);

    struct {
        ui::CLinkLabel& label;
        int id;
        int points;
        COLORREF colour;
    } labels[] = {{title_, IDC_FF_TITLE, 15, ui::kTitleColour},
                  {instruction_, IDC_FF_INSTRUCTION, 10, kBlack},
                  {result_, IDC_FF_RESULT, 10, kRed},
                  {status_, IDC_FF_STATUS, 9, kBlack},
                  {description_, IDC_FF_DESCRIPTION, 10, kBlack}};
    for (auto& l : labels) {
        l.label.Bind(hwnd_, l.id);
        l.label.ApplyStyle(true, "Arial", l.points, l.colour, Background());
    }
    title_.SetLabelText(kTitle);
    instruction_.SetLabelText(kFirstInstruction);

    SetUpCategoryList();
    ShowWindow(GetDlgItem(hwnd_, IDC_FF_CLEAR), SW_HIDE);
    SetUpBusyBar();
    return true;
}

void CRegFindNFix::SetUpCategoryList() {
    list_.Bind(hwnd_, IDC_FF_CATEGORIES);
    list_.Initialise();
    ui::ListView view = CategoryList();
    for (int c = 0; c < 3; ++c) view.InsertColumn(c, kColumns[c].title, kColumns[c].width);
    view.AddExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    for (int row = 0; row < kCategoryCount; ++row) {
        list_.InsertItem(row, CategoryRowText(row + 1));
        view.SetChecked(row, true);
    }
    view.Select(0);
    description_.SetLabelText(kInitialDescription);
}

void CRegFindNFix::SetUpBusyBar() {
    busy_.Bind(hwnd_, IDC_FF_PROGRESS);
    busy_.SetType(1);
    busy_.SetBarStyle(1);
    busy_.SetBlockCount(20);
    busy_.Recalculate();
    busy_.SetBackgroundColour(RGB(255, 255, 255));
    busy_.SetBlockFillColour(RGB(255, 255, 255));
    busy_.SetPartialFillColour(RGB(0, 255, 0));
}

void CRegFindNFix::OnUi(const std::function<void()>& call) {
    if (GetCurrentThreadId() == uiThread_) {
        call();
        return;
    }
    // A page whose window is gone shows nothing more.
    if (HWND window = window_.load()) {
        SendMessageA(window, kRunOnPageMessage, 0, reinterpret_cast<LPARAM>(&call));
    }
}

void CRegFindNFix::PressFind() {
    if (driver_.State() == ScanState::kFind) OnCommandButton();
}

void CRegFindNFix::OnCommandButton() {
    // A new scan or a repair empties the list of found items.
    const ScanState state = driver_.State();
    if (state == ScanState::kFind || state == ScanState::kFix) CloseDetails();
    driver_.OnFindCommand();
}

void CRegFindNFix::ClearResultCells() {
    for (int row = 0; row < kCategoryCount; ++row) {
        list_.SetCellText(row, kItemsFoundColumn, "");
        list_.SetCellText(row, kDetailsColumn, "");
    }
}

void CRegFindNFix::OnClear() {
    CloseDetails();
    ClearResultCells();
    driver_.items().Clear();
    driver_.SetState(ScanState::kFind);
    ShowWindow(GetDlgItem(hwnd_, IDC_FF_RESULT), SW_HIDE);
    ShowWindow(GetDlgItem(hwnd_, IDC_FF_CLEAR), SW_HIDE);
    instruction_.SetLabelText(kResetInstruction);
}

void CRegFindNFix::ResetAfterRepair() {
    CloseDetails();
    ClearResultCells();
    driver_.items().Clear();
    driver_.SetState(ScanState::kFind);
    instruction_.SetLabelText(kResetInstruction);
    Repaint();
}

void CRegFindNFix::StopWorker() {
    CloseDetails();
    closing_ = true;
    driver_.stopRequested() = 1;
    // The worker sends its view calls to this thread and waits for them:
    // handle them while waiting, or neither side would ever go on.
    while (driver_.WorkerRunning()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_SENDMESSAGE);
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    // It has made its last call; joining it does not wait on this thread.
    driver_.WaitForWorker();
    closing_ = false;
}

bool CRegFindNFix::BeforeRepair(bool automatic) {
    // A program that is closing starts no repair after a stopped scan, and
    // the scan ends as after one: the window is going, nothing is kept.
    if (closing_) return false;
    // The repair empties the list of found items: a details dialog that a
    // scan left open lets go of them first.
    OnUi([this] { CloseDetails(); });
    if (automatic) driver_.items().ForEach([](FoundItem& item) { item.selected = true; });
    return true;
}

LRESULT CRegFindNFix::OnListClick(NMHDR* header) {
    const auto* activate = reinterpret_cast<const NMITEMACTIVATE*>(header);
    ui::ListView view = CategoryList();
    LVHITTESTINFO hit{};
    hit.pt = activate->ptAction;
    list_.Send(LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    if (hit.iItem >= 0) {
        const int32_t category = DetailsCategoryForClick(hit.iItem, hit.iSubItem,
                                                         view.ItemText(hit.iItem, hit.iSubItem));
        if (category != 0) OpenDetails(category);
    }
    const int row = view.SelectedRow();
    if (row >= 0) {
        const int32_t category = CategoryOfRowText(view.ItemText(row, kOptionColumn));
        if (category != 0) description_.SetLabelText(CategoryDescription(category));
    }
    return 0;
}

void CRegFindNFix::OpenDetails(int32_t category) {
    if (openDetails_ != nullptr) return;
    // Collected under the list's lock: a scan may still be appending.
    DetailsSelection selection(driver_.items(), category, CategoryList().IsChecked(category - 1));
    // From now on Fix repairs exactly the items left ticked here.
    driver_.MarkDetailsOpened(category);
    // Items may leave the list only while no scan adds to it.
    FoundItemsDialog::IgnoreHandler ignore;
    if (!driver_.WorkerRunning()) ignore = [this](const IgnoreEntry& entry) { Ignore(entry); };
    FoundItemsDialog dialog(Instance(), selection, std::move(ignore));
    openDetails_ = &dialog;
    dialog.DoModal(mainWindow_ ? mainWindow_ : hwnd_);
    openDetails_ = nullptr;
}

void CRegFindNFix::Ignore(const IgnoreEntry& entry) {
    const SettingsStore settings(registry_);
    IgnoreList stored = LoadIgnoreList(settings);
    stored.Add(entry);
    StoreIgnoreList(settings, stored);

    ScanCounters& counters = driver_.counters();
    const ScanCounters before = counters;
    DropIgnored(driver_.items(), counters, IgnoreList({entry}));
    for (int row = 0; row < kCategoryCount; ++row) {
        const int32_t found = counters.categoryCount[row + 1];
        if (found == before.categoryCount[row + 1]) continue;
        list_.SetCellText(row, kItemsFoundColumn, ProblemsFound(found).c_str());
        if (found < 1) list_.SetCellText(row, kDetailsColumn, "No Details", "");
    }
    result_.SetLabelText(ScanResultText(counters.totalCount, counters.ignoredCount));
    // The alert counts what is left.
    settings.WriteNumber(kProductName, setting::kLastFoundErrors, counters.totalCount);
    if (counters.totalCount < 1 && driver_.State() == ScanState::kFix)
        driver_.SetState(ScanState::kFind);
}

void CRegFindNFix::CloseDetails() {
    if (openDetails_ != nullptr) openDetails_->Abandon();
}

// The view. Each call runs on the page's thread.

void CRegFindNFix::SetCommandText(const std::string& text) {
    OnUi([&] { SetDlgItemTextA(hwnd_, IDC_FF_COMMAND, text.c_str()); });
}

void CRegFindNFix::EnableCommand(bool enabled) {
    OnUi([&] { EnableWindow(GetDlgItem(hwnd_, IDC_FF_COMMAND), enabled ? TRUE : FALSE); });
}

bool CRegFindNFix::IsRowTicked(int row) {
    bool ticked = false;
    OnUi([&] { ticked = CategoryList().IsChecked(row); });
    return ticked;
}

void CRegFindNFix::SetItemsFoundCell(int row, const std::string& text) {
    OnUi([&] { list_.SetCellText(row, kItemsFoundColumn, text.c_str()); });
}

void CRegFindNFix::SetDetailsCell(int row, const std::string& text, bool link) {
    OnUi([&] { list_.SetCellText(row, kDetailsColumn, text.c_str(), link ? text.c_str() : ""); });
}

void CRegFindNFix::SetStatusText(const std::string& text) {
    OnUi([&] { status_.SetLabelText(text); });
}

void CRegFindNFix::ShowStatus(bool visible) {
    OnUi([&] { status_.Show(visible ? SW_SHOW : SW_HIDE); });
}

void CRegFindNFix::ShowProgressText(const std::string& text) {
    // The worker does not wait for the label to repaint: it leaves the text
    // for the page's thread, with one message on its way at a time.
    {
        std::lock_guard<std::mutex> lock(progressMutex_);
        progressText_ = text;
        if (progressPosted_) return;
        progressPosted_ = true;
    }
    if (HWND window = window_.load()) PostMessageA(window, kScanProgressMessage, 0, 0);
}

void CRegFindNFix::SetInstruction(const std::string& text) {
    OnUi([&] { instruction_.SetLabelText(text); });
}

void CRegFindNFix::ShowBusyBar(bool visible) {
    OnUi([&] {
        // A hidden bar needs no animation thread.
        if (!visible) busy_.Stop();
        busy_.Show(visible ? SW_SHOW : SW_HIDE);
    });
}

void CRegFindNFix::StartBusyAnimation(int stepMilliseconds) {
    OnUi([&] {
        busy_.Start();
        busy_.SetInterval(stepMilliseconds);
    });
}

void CRegFindNFix::StopBusyAnimation() {
    OnUi([&] { busy_.Stop(); });
}

void CRegFindNFix::ShowClearButton(bool visible) {
    OnUi([&] { ShowWindow(GetDlgItem(hwnd_, IDC_FF_CLEAR), visible ? SW_SHOW : SW_HIDE); });
}

void CRegFindNFix::ShowResultLine(bool visible) {
    OnUi([&] { result_.Show(visible ? SW_SHOW : SW_HIDE); });
}

void CRegFindNFix::SetResultText(const std::string& text) {
    OnUi([&] { result_.SetLabelText(text); });
}

void CRegFindNFix::ShowMessage(const std::string& text) {
    OnUi([&] { MessageBoxA(mainWindow_, text.c_str(), kCaption, MB_OK); });
}

void CRegFindNFix::Repaint() {
    OnUi([&] {
        RedrawWindow(hwnd_, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    });
}

void CRegFindNFix::EnablePageButtons(bool enabled) {
    OnUi([&] {
        for (int id : kSideButtonIds)
            EnableWindow(GetDlgItem(mainWindow_, id), enabled ? TRUE : FALSE);
    });
}

void CRegFindNFix::RestoreMainWindow() {
    OnUi([&] { ShowWindow(mainWindow_, SW_RESTORE); });
}

void CRegFindNFix::NotifyScanFinished() {
    OnUi([&] { SendMessageA(mainWindow_, kScanFinishedMessage, 0, 0); });
}

void CRegFindNFix::NotifyRepairFinished() {
    OnUi([&] { SendMessageA(mainWindow_, kRepairFinishedMessage, 0, 0); });
}

}  // namespace qm
