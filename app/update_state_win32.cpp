#include "app/update_state.h"

UpdateState g_update;
