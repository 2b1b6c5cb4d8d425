#include "mainwindowprobe.h"
