#pragma once
// Shows an error to the user. The program installs one that opens a dialog; the default
// only logs, and tests install one that records.
#include "platform/Error.h"

class MyDocument;

class AlertPresenter {
  public:
    virtual ~AlertPresenter() = default;
    // On the main thread; `document` is the one the error belongs to, or null.
    virtual void presentError(const platform::Error& error, const MyDocument* document) = 0;

    // The presenter in use; the logging one unless another was installed.
    static AlertPresenter& shared();
    // Null restores the logging presenter. The presenter must outlive its installation.
    static void setShared(AlertPresenter* presenter);
};
