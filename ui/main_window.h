// The one window of the program and its handlers.
#pragma once

#include "commapi.h"
#include "components.h"
#include "live_log.h"

// The monitored port: INVALID_HANDLE_VALUE while stopped. Only Bu1Click's start branch
// writes it.
extern HANDLE PortHandle;

class TF1 : public TForm {
  public:
    TF1();

    TButton* Bu1;
    TMemo* Me1;
    TEdit* Ed1;
    TEdit* Ed2;
    TMemo* Me2;
    TTimer* Timer1;
    TCheckBox* CB;

    void Bu1Click(TObject* sender);
    void FormCreate(TObject* sender);
    void Timer1Timer(TObject* sender);
    void CBClick(TObject* sender);
    void FormResize(TObject* sender);
    void Ed2Change(TObject* sender);

  private:
    void ApplyStoredLayout();
    void BindEvents();
    void AppendPoll(const PollBounds& bounds);
    void ResplitView();
};

extern TF1* F1;
