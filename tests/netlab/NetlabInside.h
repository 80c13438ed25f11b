#pragma once

#include <QObject>

// The checks that run inside the lab's monitor namespace (the test program re-executes itself there with
// `ip netns exec`): the real Linux network layer against the namespace LAN of scripts/netlab.
class TestNetlabInside : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void adapterList();
    void echoResolvesDevice();
    void unknownAddressTurnsInvalid();
    void deleteRemovesRow();
    void reverseLookup_data();
    void reverseLookup();
    void cancelledLookupNeverAnswers();
    void withoutRights();
};
