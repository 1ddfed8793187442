// The Package Wizard as a person uses it: files protected (or not) one by one, then one self-extracting
// package of the results built, zipped and mailed; the package's own extractor gives the files back.
#include "archwiz/archwiz_fixture.h"

using namespace archwiz;

namespace {

class PackageWizard : public ArchWizTest {};

}  // namespace
