#include "state/program_state.h"

ShellState shell;
SettingsState settings;
ClientState client;
ReferenceState reference;
