#include "allegro_fixture.h"
