#include "state/program_state.h"

ShellState shell;
ClientState client;
ReferenceState reference;
