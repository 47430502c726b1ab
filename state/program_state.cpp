#include "state/program_state.h"

ClientState client;
ReferenceState reference;
