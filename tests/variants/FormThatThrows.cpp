// A test build of the program whose form description throws an exception that is not
// the windowing layer's Exception while the main window is built.
#include "ui/Unit1Form.h"

#include <stdexcept>

const FormDescription& TForm1Description()
{
    throw std::logic_error("not the layer's exception");
}
