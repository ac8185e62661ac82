#pragma once
// A task table with its link resolver, wired as the view wires them, and every message
// answered with OK.

#include "tasks/LinkResolver.h"
#include "tasks/TaskMessageSeam.h"
#include "tasks/TaskTable.h"

class ResolvingTable : public tamsel::CTaskTable {
public:
    tamsel::CLinkResolver resolver{*this};

protected:
    int ShowMessage(const std::string&, unsigned) override { return tamsel::IDOK; }
    void OnTaskQueued() override { resolver.OnTaskQueued(); }
};
