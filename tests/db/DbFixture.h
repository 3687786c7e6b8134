// The controller's database side and a data module in a fresh temporary
// folder, every message collected instead of shown.
#pragma once

#include "db/BrelvanDb.h"
#include "support/ControllerFixture.h"

class DbFixture : public ControllerFixture<TBrelvanDb> {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        Create();
    }
};
