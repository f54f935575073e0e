#include "WorkerProtocol.h"
