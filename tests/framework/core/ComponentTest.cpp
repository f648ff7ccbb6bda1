#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/Exception.h"

namespace {

// Records what it hears; optionally follows another component the way a port's listener does.
class Probe : public TComponent {
public:
    Probe(TComponent* AOwner, std::vector<std::string>& Log, std::string Tag)
        : TComponent(AOwner), log_(Log), tag_(std::move(Tag)) {}
    ~Probe() override { log_.push_back("~" + tag_); }

    void Follow(TComponent* Other) {
        followed_ = Other;
        if (Other != nullptr)
            Other->FreeNotification(this);
    }
    TComponent* Followed() const { return followed_; }

    void Notification(TComponent* AComponent, TOperation Operation) override {
        TComponent::Notification(AComponent, Operation);
        if (Operation == opRemove && AComponent == followed_) {
            log_.push_back(tag_ + " lost its followed");
            followed_ = nullptr;
        }
    }
    void Loaded() override {
        TComponent::Loaded();
        log_.push_back(tag_ + " loaded");
    }

private:
    std::vector<std::string>& log_;
    std::string tag_;
    TComponent* followed_ = nullptr;
};

// An override that forgets the base call must not make destruction loop.
class Forgetful : public TComponent {
public:
    using TComponent::TComponent;
    int Heard = 0;
    void Notification(TComponent*, TOperation) override { ++Heard; }
};

TEST(Component, OwnerDestroysWhatItOwnsLastCreatedFirst) {
    std::vector<std::string> log;
    auto* form = new Probe(nullptr, log, "form");
    auto* a = new Probe(form, log, "a");
    new Probe(form, log, "b");
    EXPECT_EQ(form->GetComponentCount(), 2);
    EXPECT_EQ(a->GetOwner(), form);
    EXPECT_EQ(a->GetComponentIndex(), 0);
    delete a; // a component freed on its own leaves its owner
    EXPECT_EQ(form->GetComponentCount(), 1);
    log.clear();
    delete form;
    EXPECT_EQ(log, (std::vector<std::string>{"~form", "~b"}));
}

TEST(Component, FreeNotificationTellsTheFollowerAndNeverADeadOne) {
    std::vector<std::string> log;
    {
        Probe port(nullptr, log, "port");
        Probe led(nullptr, log, "led");
        led.Follow(&port);
        EXPECT_TRUE(port.GetComponentState().Contains(csFreeNotification));
        {
            Probe other(nullptr, log, "other");
            other.Follow(&port);
        } // other's death must unlink it, or port's death below would call into freed memory
        log.clear();
    }
    // led dies first (reverse declaration order): port is told nothing about led it needs,
    // and when port dies nobody is left to hear it.
    EXPECT_EQ(log, (std::vector<std::string>{"~led", "~port"}));

    log.clear();
    auto* port = new Probe(nullptr, log, "port");
    Probe led(nullptr, log, "led");
    led.Follow(port);
    delete port;
    EXPECT_EQ(led.Followed(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"~port", "led lost its followed"}));
}

TEST(Component, SiblingsHearRemovalsThroughTheirOwner) {
    std::vector<std::string> log;
    Probe form(nullptr, log, "form");
    auto* port = new Probe(&form, log, "port");
    auto* led = new Probe(&form, log, "led");
    led->Follow(port);
    delete port;
    EXPECT_EQ(led->Followed(), nullptr);
    EXPECT_EQ(form.GetComponentCount(), 1);
}

TEST(Component, OverrideWithoutBaseCallStillEndsDestruction) {
    Forgetful follower;
    {
        TComponent followed;
        followed.FreeNotification(&follower);
    }
    EXPECT_EQ(follower.Heard, 1);
}

TEST(Component, NamesAreIdentifiersUniqueWithinTheOwner) {
    std::vector<std::string> log;
    Probe form(nullptr, log, "form");
    auto* a = new Probe(&form, log, "a");
    auto* b = new Probe(&form, log, "b");
    a->SetName("ComPort");
    EXPECT_EQ(form.FindComponent("comport"), a);
    EXPECT_THROW(b->SetName("COMPORT"), EComponentError);
    EXPECT_THROW(b->SetName("1st"), EComponentError);
    EXPECT_THROW(b->SetName("a b"), EComponentError);
    EXPECT_EQ(b->GetName(), "");
    a->SetName("COMPORT"); // a case change of its own name is no clash
    b->SetName("_Led2");
    EXPECT_EQ(b->GetName(), "_Led2");
    b->SetName("");
    EXPECT_EQ(form.FindComponent(""), nullptr);
}

TEST(Component, LoadingStateEndsWithLoaded) {
    std::vector<std::string> log;
    Probe port(nullptr, log, "port");
    EXPECT_FALSE(port.GetComponentState().Contains(csLoading));
    port.BeginLoading();
    EXPECT_TRUE(port.GetComponentState().Contains(csLoading));
    EXPECT_FALSE(port.GetComponentState().Contains(csDesigning));
    port.Loaded();
    EXPECT_FALSE(port.GetComponentState().Contains(csLoading));
    EXPECT_EQ(log.back(), "port loaded");
}

TEST(Persistent, DefaultAssignmentIsAConversionError) {
    TPersistent a;
    TComponent b;
    try {
        a.Assign(&b);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a TComponent to a TPersistent");
        EXPECT_STREQ(e.what(), e.Message().c_str());
    }
    EXPECT_THROW(a.Assign(nullptr), EConvertError);
    EXPECT_THROW(a.AssignTo(&b), EConvertError);
}

} // namespace
