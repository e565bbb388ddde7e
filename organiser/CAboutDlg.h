#pragma once

#include "COptionsDlg.h"
