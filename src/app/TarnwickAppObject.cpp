#include "app/TarnwickApp.h"

CTarnwickApp theApp;
