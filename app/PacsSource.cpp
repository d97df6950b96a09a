#include "PacsSource.h"

CPacsSource::Factory& CPacsSource::MakeFactory() {
    static Factory factory;
    return factory;
}
