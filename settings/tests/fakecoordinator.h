#pragma once

#include "fakemaincoordinator.h"
