#include "TarnwickApp.h"

CTarnwickApp theApp;
