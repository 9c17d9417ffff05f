#pragma once
// The application's windows, created in start-up order: the main window,
// then the hidden edit, progress and report dialogs.

#include "main_form.h"
#include "progress_bar_form.h"
#include "reg_edit_form.h"
#include "syntax_rep_form.h"

#include <memory>
#include <string>
#include <vector>

class TarnelForms {
public:
    TarnelForms(const std::string& iniPath, const std::vector<PortChoice>& ports);
    // The main window goes first: it stops the link thread, whose last
    // steps may still use the dialogs.
    ~TarnelForms();
    TarnelForms(const TarnelForms&) = delete;
    TarnelForms& operator=(const TarnelForms&) = delete;

    std::unique_ptr<TTMainForm> MainForm;
    std::unique_ptr<TModBusRegEditForm> ModBusRegEditForm;
    std::unique_ptr<TProgressBarForm> ProgressBarForm;
    std::unique_ptr<TFSSyntaxRep> FSSyntaxRep;
};
