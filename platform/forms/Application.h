// The forms layer's link to its backend, and the message boxes.
//
// The backend is chosen at first use: one installed with InstallBackend (a
// test's fake, a host with its own toolkit), else the Qt Widgets plugin
// libKestrelFormsQt.so, loaded with the dynamic loader from, in this order,
//   1. the path given to SetPluginPath,
//   2. the path in the environment variable KESTREL_FORMS_PLUGIN,
//   3. the directory of the module holding the forms layer (the gate
//      library, next to which a build puts the plugin),
//   4. the folder "kestrel" in that directory (where an install puts it: a
//      plugin has no SONAME, so it stays out of the loader's own folders),
//   5. the loader's ordinary search (rpath, LD_LIBRARY_PATH, system).
// When none loads, a null backend takes its place: every form and message
// box then throws EFormsError naming each place tried and why it failed, so
// the transport runs where the toolkit is missing and only the dialogs fail.
// The plugin is loaded once and never unloaded.
//
// Thread safety: CurrentBackend, InstallBackend, SetPluginPath and
// PluginError may be called from any thread; forms and message boxes belong
// to the user-interface thread.
#pragma once

#include <memory>
#include <string>

#include "platform/forms/Backend.h"

namespace kestrel::forms {

// The backend in use (loading the plugin on the first call). Never fails:
// without a plugin it is the null backend.
TBackend& CurrentBackend();

// The backend in use when one was installed or the plugin was already
// loaded; null otherwise (never loads anything).
TBackend* LoadedBackend();

// Uses `backend` (not owned; it must outlive every form made with it) from
// now on; null returns to the plugin. Forms made before keep their backend.
void InstallBackend(TBackend* backend);

// A backend that fails every form and message box with EFormsError
// "Kestrel forms: no user-interface backend (<reason>)": the one used when no
// plugin loads, and for hosts and tests that want the dialogs refused.
std::unique_ptr<TBackend> MakeNullBackend(std::string reason);

// The plugin file to load, when set before the first CurrentBackend().
void SetPluginPath(const std::string& path);

// Why the plugin could not be loaded ("" when it was or was not tried yet).
std::string PluginError();

// A modal message box with one OK button; returns when the operator closed
// it. An empty caption becomes "Информация" for information, "Ошибка" for
// errors and the application's name for plain boxes. Throws EFormsError
// without a backend.
void MessageBox(TMsgKind kind, const std::string& text, const std::string& caption = {});
// A plain message box (no icon).
void ShowMessage(const std::string& text);

}  // namespace kestrel::forms
