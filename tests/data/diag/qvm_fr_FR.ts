<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>Error-modbas</name>
    <message>
        <source>End of execution with 0 error and 0 warning%1%2</source>
        <comment>Error code is &quot;ENDNOENWR&quot;</comment>
        <translation>Fin d&apos;execution sans erreur ni avertissement%1%2</translation>
    </message>
</context>
</TS>
