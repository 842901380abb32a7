// The description TForm1 is built from.
#pragma once

#include "ui/FormDescription.h"

const FormDescription& TForm1Description();
