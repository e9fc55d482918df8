<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>VESKIdent</name>
    <message>
        <source>Zorvane</source>
        <translation>Zorvane</translation>
    </message>
    <message>
        <source>Copyright (c) 2026 The Zorvane developers.</source>
        <translation>Copyright (c) 2026 Les auteurs de Zorvane.</translation>
    </message>
    <message>
        <source>Free software under the MIT License.</source>
        <translation>Logiciel libre sous licence MIT.</translation>
    </message>
</context>
</TS>
