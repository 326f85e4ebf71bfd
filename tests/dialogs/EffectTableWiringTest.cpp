// The windows' effect lists against the effect table: every bar in its dialog writing its effect, and
// every effect's menu command.
#include "OpenPictureFixture.h"

#include "EffectDialog.h"
#include "EffectTable.h"
#include "OrImage.h"
#include "Unit1.h"
#include "Unit3.h"

#include <QSlider>

using pixmora::EffectDescription;
using pixmora::Effects;

using EffectTableWiringTest = OpenPictureTest;

TEST_F(EffectTableWiringTest, EveryBarOfTheTableSitsInItsDialogAndWritesItsEffect) {
    TOrImage reference; // what the component makes of the position written straight into it
    reference.setPictureOriginal(image()->PictureOriginal().bitmap());
    for (const EffectDescription& effect : Effects) {
        if (!pixmora::hasBar(effect))
            continue;
        SCOPED_TRACE(effect.property);
        const EffectDialog* dialog = EffectDialog::find(effect.bar.dialog);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(QString(dialog->metaObject()->className()),
                  QStringLiteral("TForm%1").arg(effect.bar.dialog));
        QSlider* bar = dialog->findChild<QSlider*>(effect.bar.name);
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(dialog->bar(effect), bar);
        EXPECT_EQ(bar->minimum(), effect.bar.min);
        EXPECT_EQ(bar->maximum(), effect.bar.max);
        EXPECT_EQ(bar->tickInterval(), effect.bar.frequency);
        const int position = effect.bar.max / 3 + 1;
        bar->setValue(position);
        effect.set(reference, position);
        EXPECT_EQ(effect.get(*image()), effect.get(reference));
        EXPECT_NE(effect.get(*image()), effect.neutral);
    }
}

TEST_F(EffectTableWiringTest, EveryMenuCommandOfTheTableOpensItsDialogOrSwitchesItsEffectOn) {
    for (const EffectDescription& effect : Effects) {
        SCOPED_TRACE(effect.property);
        QAction* command = Form1->findChild<QAction*>(effect.menuCommand);
        ASSERT_NE(command, nullptr);
        image()->ResetEffects();
        command->trigger();
        if (effect.isSwitch) {
            EXPECT_EQ(effect.get(*image()), 1);
            continue;
        }
        EffectDialog* dialog = EffectDialog::find(effect.bar.dialog);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_FALSE(Form3->isTopmost());
        dialog->close();
    }
}
