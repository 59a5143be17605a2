#include "app/applicationcontext.h"

// The settings, sign-in, help and no-connection windows keep their placeholder views
// until their models are wired here.
void wireSettings(ApplicationContext&) {}
