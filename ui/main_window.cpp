#include "main_window.h"

#include "frame_cut.h"
#include "live_log.h"
#include "port_discovery.h"
#include "serial_port.h"
#include "stored_layout.h"
#include "texts.h"

#include <chrono>
#include <cstring>

HANDLE PortHandle = INVALID_HANDLE_VALUE;
TF1* F1 = nullptr;

namespace {
constexpr int kTopRow = 20;
constexpr std::size_t kDefinitionBuffer = 100;
constexpr std::chrono::milliseconds kTickWorkTime{50};
} // namespace

TF1::TF1() {
    // Created in the stored order: a later control lies above an earlier one.
    Bu1 = new TButton(this);
    Ed1 = new TEdit(this);
    CB = new TCheckBox(this);
    Ed2 = new TEdit(this);
    Me1 = new TMemo(this);
    Me2 = new TMemo(this);
    Timer1 = new TTimer(this);
    ApplyStoredLayout();
    BindEvents();
}

void TF1::ApplyStoredLayout() {
    const layout::Window& w = layout::kMainWindow;
    SetCaption(w.form.caption);
    SetFont(w.form.fontName, w.form.fontPixels);
    SetColor(clBtnFace);

    auto place = [](TControl* c, const layout::Bounds& b) {
        c->SetBounds(b.left, b.top, b.width, b.height);
    };
    place(Bu1, w.Bu1.bounds);
    Bu1->SetCaption(w.Bu1.caption);
    Bu1->SetTabStop(w.Bu1.tabStop);

    for (auto [edit, stored] : {std::pair{Ed1, &w.Ed1}, std::pair{Ed2, &w.Ed2}}) {
        place(edit, stored->bounds);
        edit->SetMaxLength(stored->maxLength);
        edit->SetBorderless(stored->borderless);
        edit->SetText(stored->text);
        edit->SetTabStop(stored->tabStop);
    }

    place(CB, w.CB.bounds);
    CB->SetCaption(w.CB.caption);
    CB->SetChecked(w.CB.checked);

    for (auto [memo, stored] : {std::pair{Me1, &w.Me1}, std::pair{Me2, &w.Me2}}) {
        place(memo, stored->bounds);
        memo->SetVisible(stored->visible);
    }
    for (const char* line : layout::kMe1SampleLines)
        Me1->Lines->Add(line);

    Timer1->SetInterval(w.Timer1.interval);
    Timer1->SetEnabled(w.Timer1.enabled);

    // Bu1, Ed1 and Ed2 are no tab stops: they are reached with the mouse.
    SetTabOrder({Bu1, Me1, Ed1, Ed2, Me2, CB});

    SetPosition(w.form.left, w.form.top);
    SetClientSize(w.form.clientWidth, w.form.clientHeight);
    SetFixedFrame();
}

void TF1::BindEvents() {
    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnResize = [this](TObject* s) { FormResize(s); };
    Bu1->OnClick = [this](TObject* s) { Bu1Click(s); };
    Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
    CB->OnClick = [this](TObject* s) { CBClick(s); };
    Ed2->OnChange = [this](TObject* s) { Ed2Change(s); };
}

void TF1::Bu1Click(TObject*) {
    if (Bu1->Caption() == AnsiString(texts::kStart)) {
        char definition[kDefinitionBuffer];
        const AnsiString text = Ed1->Text();
        std::size_t n = std::min(static_cast<std::size_t>(text.Length()), sizeof definition - 1);
        std::memcpy(definition, text.c_str(), n);
        definition[n] = '\0';
        PortHandle = OpenPort(definition);
        if (PortHandle == INVALID_HANDLE_VALUE) return;
        Bu1->SetCaption(texts::kStop);
        CB->SetEnabled(false);
        Ed2->SetEnabled(false);
        Me2->SetVisible(false);
        Timer1->SetEnabled(true);
        Me1->Clear();
    } else {
        Bu1->SetCaption(texts::kStart);
        CB->SetEnabled(true);
        Ed2->SetEnabled(true);
        Timer1->SetEnabled(false);
        // Everything that arrived up to the click is shown, however much the ticks left
        // queued; what arrives after it goes with the port.
        AppendPoll({.maxBytes = QueuedBytes(PortHandle), .timeUp = nullptr});
        ClosePort(PortHandle);
    }
}

void TF1::Timer1Timer(TObject*) {
    // Bounded by working time, not by a count: at any rate the window answers input between
    // two ticks, and what is left waits in the port's queue for the next one.
    // A backlog is worked off in slices of that time with input handled between them, so
    // the log keeps up with a fast line instead of holding it back.
    const auto deadline = std::chrono::steady_clock::now() + kTickWorkTime;
    bool timeUp = false;
    AppendPoll({.timeUp = [&] { return timeUp = std::chrono::steady_clock::now() >= deadline; }});
    if (timeUp) Timer1->FireSoon();
}

void TF1::AppendPoll(const PollBounds& bounds) {
    PollLines([](unsigned char* area, int size) { return ReadPort(PortHandle, area, size); },
              [this](std::string&& line) { Me1->Lines->Add(AnsiString(std::move(line))); }, bounds);
}

void TF1::FormCreate(TObject*) {
    ScanPorts();
    Me1->Clear();
    Me1->Lines->Add("");
    Me1->Lines->Add(ListingLine());
}

void TF1::CBClick(TObject*) {
    CB->SetCaption(CB->Checked() ? texts::kBreakBefore : texts::kBreakAfter);
    ResplitView();
}

void TF1::ResplitView() {
    const int count = Me1->Lines->Count();
    Me2->SetVisible(true);
    Me2->Clear();
    FrameCutter cutter(Ed2->Text().Bytes(), CB->Checked(),
                       [this](std::string_view piece) { Me2->Lines->Add(piece); });
    for (int i = 0; i < count; ++i)
        cutter.Feed(Me1->Lines->Line(i));
    cutter.Finish();
    ScanPorts();
    Me2->Lines->Add("");
    Me2->Lines->Add(ListingLine());
}

void TF1::FormResize(TObject*) {
    Me1->SetWidth(ClientWidth());
    Me2->SetWidth(ClientWidth());
    Me1->SetHeight(ClientHeight() - kTopRow);
    Me2->SetHeight(ClientHeight() - kTopRow);
}

void TF1::Ed2Change(TObject*) {
    ResplitView();
}
