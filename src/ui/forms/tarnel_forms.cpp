#include "tarnel_forms.h"

TarnelForms::TarnelForms(const std::string& iniPath, const std::vector<PortChoice>& ports)
    : MainForm(std::make_unique<TTMainForm>(iniPath, ports)),
      ModBusRegEditForm(std::make_unique<TModBusRegEditForm>()),
      ProgressBarForm(std::make_unique<TProgressBarForm>()),
      FSSyntaxRep(std::make_unique<TFSSyntaxRep>())
{
    MainForm->AttachDialogs(*ModBusRegEditForm, *ProgressBarForm, *FSSyntaxRep);
}

TarnelForms::~TarnelForms() { MainForm.reset(); }
