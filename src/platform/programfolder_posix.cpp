#include "platform/programfolder.h"

namespace Platform {

void enterProgramFolder()
{
}

}
