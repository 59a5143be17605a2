#include "app/applicationcontext.h"

// The widget window shows its placeholder view until the widget models are wired here.
void wireWidget(ApplicationContext&) {}
